#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class MainWin;
class SingleInstance;

// What the command line chose.
struct StartupOptions {
    QString appDir; // empty: the folder of the program file
    bool windowed = false; // an ordinary 240 x 320 window instead of full screen, frameless
    QString scanner; // scanner back end (see makeScanner); from ORTOVA_SCANNER when not given
    quint16 ftpPort = 21; // the terminal's FTP server: control port
    quint16 ftpDataPort = 50000; // first of its three passive data ports
    quint16 ftpClientPort = 21; // the office FTP server of the FTP client channel: control port
};

struct CommandLine {
    enum Outcome { Run, ShowHelp, ShowVersion, Invalid };
    Outcome outcome = Run;
    StartupOptions options;
    QString text; // help, version or the error for a person
};

// Reads the arguments (the first is the program). Needs no application object, so --help works
// without a display.
CommandLine parseCommandLine(const QStringList& arguments);

// The folder a WorkDirectory setting names: its macros expanded (the setting itself keeps them),
// a backslash read as "/", a relative path taken from the application folder, the application folder
// itself when the setting is empty. Start-up and the program settings editor both use it, so the
// editor checks the folder the next start will use.
QString workFolderPath(const QByteArray& workDirectory, const QByteArray& terminalNumber, const QString& appDir);

// The steps that belong to other parts of the program; start-up calls each in its place.
struct StartupHooks {
    // Creates the controllers and connects the menu's choices to them (before the settings are read).
    std::function<void(MainWin&)> createControllers;
    // After both settings files have been read: the exchange-log counter.
    std::function<void()> prepareExchangeLog;
    // In the work folder: check and prepare the index files of the goods table.
    std::function<void()> prepareIndexes;
    // After the menu is shown: the controllers build their windows ahead of use.
    std::function<void()> buildWindows;
    // Only when the exchange channel is the FTP server: start the server thread.
    std::function<void()> startFtpServer;
};

// The start of a run, in its fixed order: single instance, codec, folders, run log, main menu,
// controllers, both settings files, work folder, indexes, scanner, the menu shown.
class Startup {
public:
    explicit Startup(const StartupOptions& options, StartupHooks hooks = {});
    ~Startup();

    // Everything up to the shown main menu. False when the program must end now; exitCode() then
    // says how: 0 when another instance already runs in this folder, 1 when a settings file
    // failed (after one critical box per failed file; no window was shown).
    bool start();
    int exitCode() const { return m_exitCode; }
    // start() and then the event loop; the result is the process exit code.
    int exec();

    const StartupOptions& options() const { return m_options; }
    MainWin* mainWin() const { return m_mainWin.get(); }

private:
    void raiseWindow();

    StartupOptions m_options;
    StartupHooks m_hooks;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<MainWin> m_mainWin;
    int m_exitCode = 0;
};
