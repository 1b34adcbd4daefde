#pragma once

#include "ExchangeChannel.h"

#include "FtpClient.h"

#include <QHash>
#include <QList>
#include <QPointer>

// The office FTP server channel: one connection and one login serve the jobs of an exchange until
// Close (a listing closes its connection itself). Jobs queue their commands on the FTP client and
// finish when it reports done(); abort() breaks off the running command.
class FtpClientChannel : public ExchangeChannel {
    Q_OBJECT
public:
    explicit FtpClientChannel(const ChannelSetup& setup, QObject* parent = nullptr);
    ~FtpClientChannel() override;

    void start(const ExchangeJob& job) override;
    void abort() override;
    bool canBreakOff() const override { return true; }
    QString localFolder(bool input) const override;
    bool isWorkFolder(bool input) const override;

private:
    void onState(int state);
    void onStarted(int id);
    void onFinished(int id, bool error);
    void onDone(bool error);
    void onProgress(qint64 done, qint64 total);
    void onListInfo(const UrlInfo& info);

    // Connects and logs in when not connected, then changes to folder.
    void connectTo(const QString& folder);
    QString folder(bool input) const { return input ? m_setup.input : m_setup.output; }
    // Ends the running job with an outcome; failures carry reason (or what the server said).
    void finish(JobOutcome outcome, const QString& reason = QString());
    // Queues the commands of the job's current phase; phaseDone() takes their result.
    void runPhase();
    void phaseDone();
    const UrlInfo* listed(const QByteArray& name) const;
    bool startFetch();
    bool startDeliver(const QString& empty);

    ChannelSetup m_setup;
    QPointer<FtpClient> m_ftp;
    ExchangeJob m_job;
    bool m_busy = false;
    bool m_aborting = false;
    int m_command = -1; // the running command's id
    bool m_error = false; // a command of the job failed
    QString m_errorText;
    int m_phase = 0;
    int m_tolerated = -1; // a command whose failure does not fail the job
    QList<UrlInfo> m_listed; // the entries of the job's listing
    QHash<QByteArray, UrlInfo> m_fetched; // the office's files as they were listed when fetched
    QByteArray m_temporary; // the upload under way, under its temporary name
    bool m_temporaryInput = false; // in the input folder
};
