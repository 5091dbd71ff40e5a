// SPDX-License-Identifier: Apache-2.0
// Certificates made at test time with OpenSSL: a test authority, and server
// certificates for 127.0.0.1 that are self-signed, signed by the authority,
// expired, not yet valid or issued for another name.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace testsupport {

/// Frees an OpenSSL object with `Free`.
template <auto Free> struct Freer {
    template <class T> void operator()(T* object) const { Free(object); }
};

struct Identity {
    std::unique_ptr<X509, Freer<X509_free>> cert;
    std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>> key;
};

struct CertificateOptions {
    std::string subjectAltName = "IP:127.0.0.1"; // OpenSSL config syntax; empty: none
    long validFromDays = -1;                     // relative to now
    long validToDays = 30;
    bool authority = false;
    int rsaBits = 0;                  // 0: an EC P-256 key
    const char* commonName = nullptr; // null: a fixed test name
};

/// A new key and certificate; signed by `issuer`, or by itself when null.
Identity MakeIdentity(const CertificateOptions& options, const Identity* issuer = nullptr);

} // namespace testsupport
