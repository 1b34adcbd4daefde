#include "FtpTlsIdentity.h"

#include "FtpOpenSsl.h"

#include "FileIo.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <memory>
#include <sys/stat.h>

namespace {

// The key and a certificate for it, signed with itself, as one PEM text (key first); empty when
// OpenSSL cannot make them.
QByteArray makePem()
{
    FtpKey key(EVP_EC_gen("P-256"));
    FtpCert cert(X509_new());
    FtpNumber serial(BN_new());
    if (!key || !cert || !serial)
        return {};
    // Valid from long ago to far ahead: a terminal's clock may be anywhere after a flat battery.
    bool ok = X509_set_version(cert.get(), 2) && BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY)
        && BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get()))
        && ASN1_TIME_set_string_X509(X509_getm_notBefore(cert.get()), "20000101000000Z")
        && ASN1_TIME_set_string_X509(X509_getm_notAfter(cert.get()), "20991231235959Z");
    X509_NAME* name = X509_get_subject_name(cert.get());
    ok = ok
        && X509_NAME_add_entry_by_txt(
            name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Ortova FTP server"), -1, -1, 0)
        && X509_set_issuer_name(cert.get(), name) && X509_set_pubkey(cert.get(), key.get())
        && X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    FtpBio out(BIO_new(BIO_s_mem()));
    if (!ok || !out || !PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)
        || !PEM_write_bio_X509(out.get(), cert.get()))
        return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return QByteArray(data, size);
}

FtpTlsIdentity fromPem(const QByteArray& pem)
{
    FtpTlsIdentity identity;
    identity.key = QSslKey(pem, QSsl::Ec);
    if (identity.key.isNull())
        identity.key = QSslKey(pem, QSsl::Rsa);
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem);
    if (!certificates.isEmpty())
        identity.certificate = certificates.first();
    return identity;
}

} // namespace

FtpTlsIdentity FtpTlsIdentity::load(const QString& path)
{
    QFile file(path);
    QByteArray pem;
    if (!file.open(QIODevice::ReadOnly) || !readToEnd(file, pem))
        return FtpTlsIdentity();
    // The key stays the owner's, whatever was done to the file meanwhile.
    if (file.permissions()
        & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther))
        ::chmod(QFile::encodeName(path).constData(), 0600);
    return fromPem(pem);
}

FtpTlsIdentity FtpTlsIdentity::loadOrCreate(const QString& path, QString& error)
{
    FtpTlsIdentity identity = load(path);
    if (!identity.isNull())
        return identity;
    const QByteArray pem = makePem();
    identity = fromPem(pem);
    if (pem.isEmpty() || identity.isNull()) {
        error = QStringLiteral("the key cannot be made");
        return FtpTlsIdentity();
    }
    DurableFile file(path);
    file.setMode(0600);
    if (!file.open() || !file.write(pem) || !file.commit()) {
        error = file.errorString();
        return FtpTlsIdentity();
    }
    return identity;
}

QByteArray FtpTlsIdentity::publicKeyPin(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return {};
    const QByteArray der = certificate.toDer();
    const unsigned char* in = reinterpret_cast<const unsigned char*>(der.constData());
    FtpCert cert(d2i_X509(nullptr, &in, der.size()));
    EVP_PKEY* key = cert ? X509_get0_pubkey(cert.get()) : nullptr;
    unsigned char* spki = nullptr;
    const int size = key ? i2d_PUBKEY(key, &spki) : -1;
    if (size <= 0)
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    const bool ok = EVP_Digest(spki, size_t(size), digest, &digestSize, EVP_sha256(), nullptr);
    OPENSSL_free(spki);
    if (!ok)
        return {};
    return "sha256//" + QByteArray(reinterpret_cast<const char*>(digest), int(digestSize)).toBase64();
}
