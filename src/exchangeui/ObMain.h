#pragma once

#include "DocKind.h"
#include "DocumentList.h"
#include "ExchangeChannel.h"
#include "IopLog.h"
#include "TableDescr.h"
#include "UserSettings.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class ConvFile;
class ObMainWin;
class ObmenWin;
class ProsmCase;

// The exchange: loads the office's directories from the exchange folders into the work folder
// and reduces them to binary tables (load), and converts result and directory tables back to
// text and delivers them (unload), each directory with its numbered exchange log. The channel
// (ExchangeChannel) moves the files; the exchange keeps the menus, the selectors, every box and
// the order of an entry's steps: fetch, reduce, deliver the log, act on the source, next entry
// (unload: look up, convert, deliver, deliver the log, act on the table). Each step that needs the
// channel hands it one job and goes on when the job's result comes back.
class ObMain : public QObject {
    Q_OBJECT
public:
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
    void ldCaseFile(int row);
    void ldCaseNextFile(int row);
    void unldCaseFile(int row);
    void unldCaseNextFile(int row);
    void ldCaseExit();
    // The load list from the input folder, then the load selector.
    void ldCaseList();
    void unCaseExit();

signals:
    // Emitted each time control returns to the main menu.
    void returned();

private:
    // The entry in flight: what it is, where its files are, how far it got.
    struct Entry {
        std::optional<DocKind> kind; // none: any other document
        TableDescr* table = nullptr;
        QString title; // the directory's display name
        QByteArray logTitle; // the same as bytes, for the exchange log
        QByteArray name; // the file's name in the office folder
        QString transfer; // the text file in the work folder (load: the office's own when inPlace)
        QString bin; // the binary table (type 0: the file itself)
        bool inPlace = false; // load: read where it lies; unload: the text already is the delivery
        bool logStarted = false;
        bool logFinished = false;
        bool keepLog = false; // the office may hold part of the file: its log stays here
        bool done = false; // loaded or unloaded
        QString finalText; // load: the log's last line, written once the office's file was acted on
    };

    bool startExchange(bool load);

    // Selectors.
    void openSelector(bool load, int row);
    void closeChooser();
    void confirmSelection(bool load);
    void startEntries(bool load);

    // The channel and its jobs.
    void openChannel();
    void dropChannel();
    void runJob(const ExchangeJob& job);
    void jobFinished(const ExchangeJob& job);
    void listed(const ExchangeJob& job);

    // The entry's steps.
    void nextEntry();
    bool takeEntry();
    void loadBegin();
    void fetched(const ExchangeJob& job);
    QString reduce(); // the log's last line
    void unloadLookedUp(const ExchangeJob& job);
    void delivered(const ExchangeJob& job);
    void deliverLog();
    void logDelivered(const ExchangeJob& job);
    void afterLog();
    void deliverKeptLog();
    void actOnSource();
    void sourceActed(const ExchangeJob& job);
    void endEntry();
    void entryAborted();
    void closeChannel();
    void closeLog(const QString& text);
    void finishLog(const QString& text);

    bool askReplace(const QString& text, const QString& replaceText);
    void showBox(int icon, const QString& text);
    void setState(const QString& text);
    void handBack();

    bool m_active = false; // the exchange menu is open
    bool m_running = false; // a load or unload runs (list, selector or entries)
    bool m_load = true;
    bool m_looping = false; // the entries run
    bool m_jobRunning = false; // the channel works on a job of ours
    bool m_abortRequested = false;
    Channel m_channelKind = Channel::LocalDir;

    QString m_getPath, m_putPath;
    bool m_inputIsWork = false;
    bool m_outputIsWork = false;

    QPointer<ObMainWin> m_menuWin;
    QPointer<ObmenWin> m_obmenWin;
    QPointer<ProsmCase> m_chooser;
    // The list's view as the selector shows it: the mark column first and always shown.
    ViewDescr m_selectorView;
    QPointer<ConvFile> m_conv;
    QPointer<ExchangeChannel> m_channel;
    quint16 m_ftpPort = 21;

    QList<SelectionEntry> m_entries;
    QList<KeptLog> m_keptLogs; // earlier logs still to be delivered
    int m_index = 0;
    Entry m_cur;
};
