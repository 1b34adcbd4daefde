#pragma once

#include "TableDescr.h"
#include "UserSettings.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

// The way files travel between the work folder and the office: a local folder, the folders the
// terminal's own FTP server offers, or an office FTP server. The exchange hands a channel one job
// at a time; the channel answers every job, later (never inside the call), with finished()
// carrying the job and its outcome. A channel owns its state and shows nothing: the reasons it
// reports are texts for the exchange to show.

enum class JobKind {
    List, // the office's documents, as lines of the load list
    Lookup, // whether the office already holds a file of the name
    Fetch, // an office file into the work folder
    Deliver, // a file of the work folder to the office, under name
    ActOnSource, // the after-load action on the office's file that was loaded
    DeliverLog, // an exchange log next to the data it tells of
    Close // the end of the exchange (the FTP connection is closed)
};

enum class JobOutcome { Done, Failed, Aborted };

struct ExchangeJob {
    JobKind kind = JobKind::Fetch;
    QByteArray name; // the file's name in the office folder (Windows-1251)
    QString local; // the file in the work folder: fetched into, delivered from
    bool input = true; // the office's input folder (load side) or its output folder (unload side)
    SourceAction action = SourceAction::Keep; // ActOnSource

    // Filled in by the channel.
    JobOutcome outcome = JobOutcome::Done;
    QString reason; // failed: what went wrong, as the operator is told
    QString logText; // failed: a line for the exchange log, when the failure has one
    // Fetch: local is the office's own file, read where it lies (nothing was copied).
    // Deliver, DeliverLog, Lookup: local already is the delivered file.
    bool inPlace = false;
    bool exists = false; // Lookup
    bool partial = false; // failed Deliver: the office may hold part of the file
    bool sourceChanged = false; // failed ActOnSource: the office's file is no longer the one fetched
    QByteArray listing; // List: the load list's text lines
};
Q_DECLARE_METATYPE(ExchangeJob)

// A job of kind on the office's file name, with its file local in the work folder, in the office's
// input folder (else its output folder).
ExchangeJob exchangeJob(
    JobKind kind, const QByteArray& name = QByteArray(), const QString& local = QString(), bool input = true);

// What a channel is made from: the office folders (local paths, or paths on the office server),
// the work folder, and what the load list and the FTP client need.
struct ChannelSetup {
    Channel kind = Channel::LocalDir;
    QString input;
    QString output;
    QString work;
    const TableDescr* listTable = nullptr; // the load list's lines are built for it
    bool receiptMode = false; // the local load list offers receipt documents instead of goods
    bool enCaseChanged = false;
    FtpClientSettings ftp;
    quint16 ftpPort = 21;
};

// The setup of a channel from the user settings; the office folders come from the channel's root,
// input and output settings.
ChannelSetup channelSetup(Channel kind, const UserSettings& user, const QString& work);

class ExchangeChannel : public QObject {
    Q_OBJECT
public:
    explicit ExchangeChannel(QObject* parent = nullptr)
        : QObject(parent)
    {
    }

    // Starts a job; finished() follows once, from the event loop. One job at a time.
    virtual void start(const ExchangeJob& job) = 0;
    // Breaks off the running job where it can (its finished() then says Aborted); a channel whose
    // jobs cannot be broken off finishes them.
    virtual void abort() = 0;
    // Whether abort() can break off a transfer (the abort button is offered).
    virtual bool canBreakOff() const = 0;
    // A load (or unload) begins: the channel may tidy what a crash left in the folder it uses.
    virtual void begin(bool load) { Q_UNUSED(load) }
    // The office folder on this machine, empty when it is on another machine.
    virtual QString localFolder(bool input) const = 0;
    // Whether the office folder is the work folder itself.
    virtual bool isWorkFolder(bool input) const = 0;

signals:
    void finished(const ExchangeJob& job);
    void progress(qint64 done, qint64 total);
    // What the channel is doing, as the exchange window shows it.
    void statusChanged(const QString& text);

protected:
    // Answers job from the event loop, as every channel does.
    void finishLater(const ExchangeJob& job);
};

// The channel the setup names.
std::unique_ptr<ExchangeChannel> makeExchangeChannel(const ChannelSetup& setup);

// A box's text as one line of a log.
QString oneLine(const QString& text);
