#pragma once

#include "DocumentList.h"
#include "FtpClient.h"
#include "TableDescr.h"
#include "UserSettings.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class ConvFile;
class ObMainWin;
class ObmenWin;
class ProsmCase;

// The exchange: loads the office's directories from the exchange folders into the work folder
// and reduces them to binary tables (load), and converts result and directory tables back to
// text and delivers them (unload), each directory with its numbered exchange log. The channel
// decides where the exchange folders are: a local folder, or the folders the terminal's own FTP
// server serves to the office, or an office FTP server the terminal connects to. The folder
// channels run each step at once; the FTP client channel queues its commands and runs the next
// step when the client reports done().
class ObMain : public QObject {
    Q_OBJECT
public:
    // The per-file state machine; one step runs per turn of the event loop.
    enum ExchangeStep {
        StepBegin = 0,
        StepTransferred = 1,
        StepFileDone = 2,
        StepClosing = 3,
        StepNextFile = 5,
        StepAborted = 6
    };

    explicit ObMain(QObject* parent = nullptr);
    ~ObMain() override;

    // What is open right now, for the program's tests.
    bool active() const { return m_active; }
    bool exchanging() const { return m_running; }
    ObMainWin* menuWindow() const;
    ObmenWin* exchangeWindow() const;
    ProsmCase* chooser() const;
    const QList<SelectionEntry>& selection() const { return m_entries; }
    QString getPath() const { return m_getPath; }
    QString putPath() const { return m_putPath; }
    bool inputIsWorkFolder() const { return m_inputIsWork; }
    bool outputIsWorkFolder() const { return m_outputIsWork; }
    // The office FTP server's control port (the command line may move it from 21).
    void setFtpClientPort(quint16 port) { m_ftpPort = port; }
    quint16 ftpClientPort() const { return m_ftpPort; }

public slots:
    // The main menu's exchange entry.
    void obmMain();
    // Leaving the exchange menu: back to the main menu.
    void obmExit();
    void obmLoad();
    void obmListLoad();
    void obmUnload();
    void obmListUnload();
    void obmCaseExit();
    // The end of one load or unload: back to the exchange menu. A second call does nothing.
    void obmObmenExit();
    void obmObmenAbort();
    void Progress(qint64 done, qint64 total);
    // The FTP client's signals.
    void State(int state);
    void DoneFtp(bool error);
    void Started(int id);
    void Finished(int id, bool error);
    // One step of the per-file exchange (every channel; the FTP client's done() queues it).
    void DoneLoc();
    void ldCaseFile(int row);
    void ldCaseNextFile(int row);
    void unldCaseFile(int row);
    void unldCaseNextFile(int row);
    void ldCaseExit();
    // The load list from the input folder, then the load selector.
    void ldCaseList();
    // One entry of the office input folder's listing, into the load list.
    void ldListInfo(const UrlInfo& info);
    void unCaseExit();

signals:
    // Emitted each time control returns to the main menu.
    void returned();

private:
    // The entry being exchanged.
    struct Current {
        qint32 type = 0;
        TableDescr* table = nullptr;
        QString title; // the directory's display name
        QByteArray logTitle; // the same as bytes, for the exchange log
        QString transfer; // the text file in the work folder
        QString bin; // the binary table (type 0: the file itself)
        QString source; // load: the file in the input folder
        QString target; // unload: the file in the output folder
        bool transferIsSource = false; // load: the office file is read where it lies
        bool transferIsTarget = false; // unload: the text is delivered where it lies
        QByteArray remote; // FTP: the file's name on the office server
        bool logStarted = false;
        bool logFinished = false;
        bool logSent = false; // FTP: the log's upload was queued
        bool uploadBroken = false; // FTP: the directory's upload failed or was broken off
        bool sourceActed = false; // FTP: LoadAct on the server's copy was queued
        bool done = false; // loaded or unloaded
    };

    void computeFolders();
    void updateWorkFolderFlags();
    bool startExchange(bool load);
    TableDescr* listTable() const;
    ViewDescr* listView() const;
    bool listReady() const;

    // Selectors.
    void openSelector(bool load, int row);
    void closeChooser();
    void confirmSelection(bool load);
    void startEntries(bool load);

    // The per-file steps.
    void queueStep();
    bool takeEntry();
    void loadBegin();
    void loadTransferred();
    void unloadBegin();
    void unloadTransferred();
    void fileDone();
    void nextFile();
    void deliverLog();
    void failEntry(const QString& text);
    void finishLog(const QString& text);

    // The FTP client channel.
    bool ftpChannel() const { return m_channel == Channel::FtpClient; }
    void newFtp();
    void dropFtp();
    void ftpOperation();
    void ftpConnect(const QString& path);
    bool ftpGet();
    bool putFtpFile(const QString& file);
    void ftpSourceAction();
    bool putFtpIop();
    bool closeFtp();
    void ftpList();
    void ftpListEnd(bool error);
    bool writeFtpList();
    void ftpLoadFailed();
    void ftpUnloadFailed();
    void ftpAborted();
    void abortFtp();
    bool askReplace(const QString& text, const QString& replaceText);
    void showBox(int icon, const QString& text);
    void setState(const QString& text);
    void handBack();

    bool m_active = false; // the exchange menu is open
    bool m_running = false; // a load or unload runs (list, selector or entries)
    bool m_load = true;
    bool m_listMode = false;
    bool m_looping = false; // the per-file steps run
    bool m_abortRequested = false;
    bool m_stepQueued = false;
    bool m_inStep = false;
    Channel m_channel = Channel::LocalDir;
    ExchangeStep m_step = StepBegin;

    QString m_getPath, m_putPath;
    bool m_inputIsWork = false;
    bool m_outputIsWork = false;

    QPointer<ObMainWin> m_menuWin;
    QPointer<ObmenWin> m_obmenWin;
    QPointer<ProsmCase> m_chooser;
    QPointer<ConvFile> m_conv;

    QPointer<FtpClient> m_ftp;
    quint16 m_ftpPort = 21;
    int m_ftpCommand = -1; // the running command's id
    bool m_ftpError = false; // a command of the current operation failed
    QString m_ftpErrorText;
    bool m_doneError = false; // what the last done() said
    bool m_waitFtp = false; // an operation is queued: the next step waits for done()
    QByteArray m_listLines; // the load list from the office folder's listing

    QList<SelectionEntry> m_entries;
    int m_index = 0;
    Current m_cur;
};
