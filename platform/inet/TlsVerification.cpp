// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TlsVerification.h"

#include "platform/inet/WinInet.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace inet {

namespace {

constexpr DWORD kLeniencyBits =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_WRONG_USAGE;

bool IsUnknownAuthority(int error) {
    switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_INVALID_CA:
        return true;
    default:
        return false;
    }
}

bool IsBadDate(int error) {
    switch (error) {
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return true;
    default:
        return false;
    }
}

/// The security flag that forgives `error`, or 0 when none does.
DWORD ForgivingFlag(int error) {
    if (IsUnknownAuthority(error)) {
        return SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    }
    if (IsBadDate(error)) {
        return SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    }
    if (error == X509_V_ERR_HOSTNAME_MISMATCH || error == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        return SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    }
    if (error == X509_V_ERR_INVALID_PURPOSE) {
        return SECURITY_FLAG_IGNORE_WRONG_USAGE;
    }
    return 0;
}

int CheckIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int VerifyCallback(int preverified, X509_STORE_CTX* store) {
    if (preverified == 1) {
        return 1;
    }
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check = static_cast<TlsCheck*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CheckIndex()));
    const int error = X509_STORE_CTX_get_error(store);
    const DWORD flag = ForgivingFlag(error);
    if (check != nullptr && flag != 0 && (check->securityFlags & flag) != 0) {
        // Clearing the error keeps libcurl's own look at the verify result
        // from failing the handshake after we forgave it.
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    if (check != nullptr && check->refusedError == 0) {
        check->refusedError = error;
    }
    return 0;
}

CURLcode OnSslContext(CURL*, void* context, void* userData) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_ex_data(ctx, CheckIndex(), userData);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, VerifyCallback);
    return CURLE_OK;
}

} // namespace

DWORD TlsLeniency(DWORD securityFlags) {
    return securityFlags & kLeniencyBits;
}

void ApplyTlsPolicy(CURL* easy, TlsCheck* check) {
    check->refusedError = 0;
    const bool ignoreName = (check->securityFlags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) != 0;
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, ignoreName ? 0L : 2L);
    // A resumed session skips the verify callback; every handshake of a
    // request must be judged under that request's own flags.
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, check);
}

DWORD TlsFailureError(CURLcode result, const TlsCheck& check) {
    if (check.refusedError != 0) {
        const DWORD flag = ForgivingFlag(check.refusedError);
        if (flag == SECURITY_FLAG_IGNORE_UNKNOWN_CA) {
            return ERROR_INTERNET_INVALID_CA;
        }
        if (flag == SECURITY_FLAG_IGNORE_CERT_DATE_INVALID) {
            return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
        }
        if (flag == SECURITY_FLAG_IGNORE_CERT_CN_INVALID) {
            return ERROR_INTERNET_SEC_CERT_CN_INVALID;
        }
        return ERROR_INTERNET_SEC_INVALID_CERT;
    }
    switch (result) {
    case CURLE_PEER_FAILED_VERIFICATION:
        // The chain passed our callback, so what failed is libcurl's check
        // of the host name against the certificate.
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default:
        return 0;
    }
}

} // namespace inet
