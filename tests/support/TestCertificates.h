// Certificates made at test time with OpenSSL: a test authority, and server
// certificates for 127.0.0.1 that are self-signed, signed by the authority,
// expired, not yet valid or issued for another name.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace testsupport {

struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

struct Identity {
    std::unique_ptr<X509, X509Free> cert;
    std::unique_ptr<EVP_PKEY, KeyFree> key;
};

struct CertificateOptions {
    std::string subjectAltName = "IP:127.0.0.1"; // OpenSSL config syntax
    long validFromDays = -1;                     // relative to now
    long validToDays = 30;
    bool authority = false;
};

/// A new key and certificate; signed by `issuer`, or by itself when null.
Identity MakeIdentity(const CertificateOptions& options, const Identity* issuer = nullptr);

} // namespace testsupport
