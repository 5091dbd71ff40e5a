// SPDX-License-Identifier: Apache-2.0
#include "support/TestCertificates.h"

#include <openssl/x509v3.h>

#include <atomic>
#include <stdexcept>

namespace testsupport {

Identity MakeIdentity(const CertificateOptions& options, const Identity* issuer) {
    static std::atomic<long> serial{1};
    constexpr long kSecondsPerDay = 86400;
    Identity made;
    made.key.reset(options.rsaBits != 0 ? EVP_RSA_gen(static_cast<unsigned>(options.rsaBits))
                                        : EVP_EC_gen("P-256"));
    made.cert.reset(X509_new());
    X509* cert = made.cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), options.validFromDays * kSecondsPerDay);
    X509_gmtime_adj(X509_getm_notAfter(cert), options.validToDays * kSecondsPerDay);
    X509_set_pubkey(cert, made.key.get());
    const char* commonName = options.commonName != nullptr ? options.commonName
                             : options.authority           ? "Dravik Test Authority"
                                                           : "Dravik Test Server";
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer->cert.get() : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(signer));
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, signer, cert, nullptr, nullptr, 0);
    const std::pair<int, std::string> extensions[] = {
        {NID_basic_constraints, options.authority ? "critical,CA:TRUE" : "CA:FALSE"},
        {NID_subject_key_identifier, "hash"},
        options.authority ? std::pair{NID_key_usage, std::string("critical,keyCertSign,cRLSign")}
                          : std::pair{NID_subject_alt_name, options.subjectAltName},
    };
    for (const auto& [nid, value] : extensions) {
        if (value.empty()) {
            continue;
        }
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
        if (extension == nullptr) {
            throw std::runtime_error("bad certificate extension " + value);
        }
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
    EVP_PKEY* signingKey = issuer != nullptr ? issuer->key.get() : made.key.get();
    if (X509_sign(cert, signingKey, EVP_sha256()) == 0) {
        throw std::runtime_error("cannot sign test certificate");
    }
    return made;
}

} // namespace testsupport
