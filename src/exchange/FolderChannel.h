#pragma once

#include "ExchangeChannel.h"

// The local folder channel and the folders the terminal's own FTP server offers: the office
// folders are folders of this machine, and files are copied safely (Transfer.h). A copy is not
// broken off halfway: abort() lets the job in hand finish.
class FolderChannel : public ExchangeChannel {
    Q_OBJECT
public:
    explicit FolderChannel(const ChannelSetup& setup, QObject* parent = nullptr);

    void start(const ExchangeJob& job) override;
    void abort() override { }
    bool canBreakOff() const override { return false; }
    void begin(bool load) override;
    QString localFolder(bool input) const override;
    bool isWorkFolder(bool input) const override;

private:
    void run(ExchangeJob job);
    void list(ExchangeJob& job);
    void fetch(ExchangeJob& job);
    void deliver(ExchangeJob& job);
    void deliverLog(ExchangeJob& job);
    // The office's file of job's name: where it lies, whatever letter case the office gave it.
    QString officeFile(const ExchangeJob& job) const;
    void setStatus(const QString& text);

    ChannelSetup m_setup;
    QString m_status;
};
