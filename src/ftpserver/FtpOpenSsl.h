#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

// Owners of the OpenSSL objects the FTP server makes: each is freed with its own function.
template <typename T, void (*Free)(T*)>
struct FtpOpenSslFree {
    void operator()(T* p) const { Free(p); }
};
using FtpKey = std::unique_ptr<EVP_PKEY, FtpOpenSslFree<EVP_PKEY, EVP_PKEY_free>>;
using FtpCert = std::unique_ptr<X509, FtpOpenSslFree<X509, X509_free>>;
using FtpBio = std::unique_ptr<BIO, FtpOpenSslFree<BIO, BIO_free_all>>;
using FtpNumber = std::unique_ptr<BIGNUM, FtpOpenSslFree<BIGNUM, BN_free>>;
using FtpSslContext = std::unique_ptr<SSL_CTX, FtpOpenSslFree<SSL_CTX, SSL_CTX_free>>;
