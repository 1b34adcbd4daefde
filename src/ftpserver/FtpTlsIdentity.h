#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The terminal's own TLS key and self-signed certificate for its FTP server, kept together in one
// PEM file in the application folder, readable by the owner only. The office pins the key, so it
// is made once and kept: a new key means a new pin at the office.
struct FtpTlsIdentity {
    static constexpr const char* FileName = "ftpserver.pem";

    QSslKey key;
    QSslCertificate certificate;
    bool isNull() const { return key.isNull() || certificate.isNull(); }

    // Reads the key and certificate of path; null when the file is missing or unreadable.
    static FtpTlsIdentity load(const QString& path);
    // Reads path, or when it holds no usable identity makes a new one (a P-256 key and a
    // certificate signed with it) and writes it durably with mode 0600. Null, with error set, when
    // neither works.
    static FtpTlsIdentity loadOrCreate(const QString& path, QString& error);

    // The key's pin as curl takes it (--pinnedpubkey, CURLOPT_PINNEDPUBLICKEY): "sha256//" and the
    // base64 of the SHA-256 of the public key's DER form. Empty for a null certificate.
    static QByteArray publicKeyPin(const QSslCertificate& certificate);
};
