// The terminal program: reads the command line, builds the objects of the run and runs it.

#include "AppState.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FtpServerRunner.h"
#include "Index.h"
#include "IopLog.h"
#include "MainWin.h"
#include "NaMain.h"
#include "ObMain.h"
#include "PrMain.h"
#include "Shutdown.h"
#include "Startup.h"
#include "TableFiles.h"
#include "Transfer.h"
#include "Version.h"
#include "Vvod.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace {

// The goods table's index files, in the work folder that is current. Copies and replacements a
// previous run left half-done go first.
void prepareIndexes()
{
    removeStaleTemporaries(QDir::currentPath());
    if (const TableDescr* goods = descrRegistry().table(QByteArrayLiteral("TVR")))
        prepareIndexFiles(binFileName(*goods), *goods);
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = parseCommandLine(arguments);
    switch (commandLine.outcome) {
    case CommandLine::ShowHelp:
    case CommandLine::ShowVersion:
        std::fputs(commandLine.text.toUtf8().constData(), stdout);
        return 0;
    case CommandLine::Invalid:
        std::fputs(commandLine.text.toUtf8().constData(), stderr);
        return 2;
    case CommandLine::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ortova"));
    QApplication::setApplicationVersion(QStringLiteral(ORTOVA_VERSION));

    // The controllers live as long as the run; the menu hands each of them its choice.
    std::unique_ptr<NaMain> naMain;
    std::unique_ptr<Vvod> vvod;
    std::unique_ptr<PrMain> prMain;
    std::unique_ptr<ObMain> obMain;
    // The terminal's own FTP server runs while the exchange channel is "FTP Сервер"; it is stopped
    // before the application object goes.
    FtpServerRunner ftpServer(commandLine.options.ftpPort, commandLine.options.ftpDataPort);
    QObject::connect(&ftpServer, &FtpServerRunner::serverError, &ftpServer,
        [](const QString& title, const QString& text) { showMessage(IconCritical, title, text); });

    StartupHooks hooks;
    hooks.createControllers = [&](MainWin& menu) {
        naMain = std::make_unique<NaMain>();
        vvod = std::make_unique<Vvod>();
        prMain = std::make_unique<PrMain>();
        obMain = std::make_unique<ObMain>();
        obMain->setFtpClientPort(commandLine.options.ftpClientPort);
        QObject::connect(&menu, &MainWin::NastrCall, naMain.get(), &NaMain::namMain);
        QObject::connect(&menu, &MainWin::VvodCall, vvod.get(), &Vvod::vvMainMainCall);
        QObject::connect(&menu, &MainWin::ProsmCall, prMain.get(), &PrMain::prmMain);
        QObject::connect(&menu, &MainWin::ObmenCall, obMain.get(), &ObMain::obmMain);
        // New program settings: the menu shows the mode, the new work folder gets its index
        // files, data entry binds its tables afresh and the server takes the new folders.
        QObject::connect(naMain.get(), &NaMain::programmSaved, &menu, [&menu, &vvod, &ftpServer] {
            menu.setMode(appState().receiptMode());
            prepareIndexes();
            vvod->vvMainMainSet();
            ftpServer.apply();
        });
        // The channel may have changed to or from the FTP server, or the server's own settings.
        QObject::connect(naMain.get(), &NaMain::exchangeSaved, &ftpServer, &FtpServerRunner::apply);
    };

    // The exchange-log number lives as a marker in the application folder; a settings save that a
    // crash cut short left its temporary there.
    hooks.prepareExchangeLog = [] {
        removeStaleTemporaries(runAppDir());
        iopGetNum(runAppDir());
    };

    hooks.prepareIndexes = prepareIndexes;
    hooks.startFtpServer = [&ftpServer] { ftpServer.apply(); };

    Startup startup(commandLine.options, hooks);
    return startup.exec();
}
