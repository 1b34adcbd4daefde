#pragma once

#include <memory>

struct FtpTlsIdentity;
struct ssl_ctx_st;

// The server's side of TLS for one control connection and its data connections: the terminal's key
// and certificate, TLS 1.2 or later, no client certificate asked for (clients log in with a
// password), and one cache of sessions with session tickets on, so that a data connection can
// resume the session of its control connection with an abbreviated handshake, as strict clients
// expect.
class FtpTlsContext {
public:
    // Null for a null identity, or one OpenSSL does not take.
    static std::shared_ptr<FtpTlsContext> create(const FtpTlsIdentity& identity);
    ~FtpTlsContext();
    FtpTlsContext(const FtpTlsContext&) = delete;
    FtpTlsContext& operator=(const FtpTlsContext&) = delete;

    // OpenSSL's context (SSL_CTX), for the sockets that use it.
    ssl_ctx_st* handle() const { return m_ctx; }

private:
    explicit FtpTlsContext(ssl_ctx_st* ctx)
        : m_ctx(ctx)
    {
    }

    ssl_ctx_st* m_ctx;
};
