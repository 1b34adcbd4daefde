#pragma once

#include "NaSection.h"
#include "UserSettings.h"

// Editor of the section of the exchange channel in force when it opens: FTP_CLIENT, LOCAL_DIR or
// FTP_SERVER. The FTP client's address must have the shape of four dotted numbers; the folders of
// the other two channels must exist (or be created). With the server's TLS on, its key's pin is
// shown under the grid.
class NaFTPLocal : public NaSection {
    Q_OBJECT
public:
    explicit NaFTPLocal(QObject* parent = nullptr);

signals:
    void snFTPLocalExit();

protected:
    QByteArray startEdit() override;
    void addRows() override;
    bool putIntoForce() override;
    // The FTP server's TLS key pin, for the office to pin, while TLS is on.
    QString note() const override;
    void emitExit() override { emit snFTPLocalExit(); }

private:
    // The input or output folder as the exchange will use it.
    QString exchangeFolder(const QByteArray& root, const QByteArray& name) const;
    bool foldersReady(const QByteArray& root, const QByteArray& input, const QByteArray& output);

    Channel m_channel = Channel::FtpClient;
    FtpClientSettings m_client;
    LocalDirSettings m_local;
    FtpServerSettings m_server;
};
