#pragma once

#include "ExchangeChannel.h"

#include <QHash>

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
    void actOnSource(ExchangeJob& job);

    // Which file a name was when it was fetched: the after-load action acts on that file only.
    struct Stamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp& o) const
        {
            return device == o.device && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs;
        }
    };
    static bool stampOf(const QString& path, Stamp& stamp);
    QHash<QByteArray, Stamp> m_fetched;

    ChannelSetup m_setup;
    QString m_status;
};
