#include "FtpTlsContext.h"

#include "FtpOpenSsl.h"

#include "FtpTlsIdentity.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

// Reads pem in place: it must outlive the BIO.
FtpBio pemBio(const QByteArray& pem)
{
    return FtpBio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
}

// Any one name for every context of the server: sessions are only ever resumed within the
// context that made them.
const unsigned char SessionContext[] = "ortova-ftp";

// How long a session stays resumable: as long as a control connection may last.
constexpr long SessionSeconds = 24 * 60 * 60;

} // namespace

std::shared_ptr<FtpTlsContext> FtpTlsContext::create(const FtpTlsIdentity& identity)
{
    if (identity.isNull())
        return nullptr;
    const QByteArray keyText = identity.key.toPem();
    const QByteArray certText = identity.certificate.toPem();
    const FtpBio keyPem = pemBio(keyText);
    const FtpBio certPem = pemBio(certText);
    if (!keyPem || !certPem)
        return nullptr;
    const FtpKey key(PEM_read_bio_PrivateKey(keyPem.get(), nullptr, nullptr, nullptr));
    const FtpCert cert(PEM_read_bio_X509(certPem.get(), nullptr, nullptr, nullptr));
    FtpSslContext ctx(SSL_CTX_new(TLS_server_method()));
    if (!key || !cert || !ctx)
        return nullptr;
    SSL_CTX* c = ctx.get();
    const bool ok = SSL_CTX_use_certificate(c, cert.get()) == 1 && SSL_CTX_use_PrivateKey(c, key.get()) == 1
        && SSL_CTX_check_private_key(c) == 1 && SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION) == 1
        && SSL_CTX_set_session_id_context(c, SessionContext, sizeof(SessionContext) - 1) == 1;
    if (!ok)
        return nullptr;
    SSL_CTX_set_verify(c, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_options(c, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_clear_options(c, SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_SERVER);
    // Sessions pile up only from data connections that resume nothing (a client that never
    // offers its session has no use for them): a long session of such a client stays small.
    SSL_CTX_sess_set_cache_size(c, 1024);
    SSL_CTX_set_timeout(c, SessionSeconds);
    return std::shared_ptr<FtpTlsContext>(new FtpTlsContext(ctx.release()));
}

FtpTlsContext::~FtpTlsContext()
{
    SSL_CTX_free(m_ctx);
}
