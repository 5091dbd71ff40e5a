// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TlsVerification.h"

#include "platform/inet/WinInet.h"

#include <arpa/inet.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>
#include <utility>

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

/// Every handshake goes through, its verify result kept: what an origin's
/// chain needs forgiven is judged per request before it is sent
/// (JudgeConnection), while libcurl refuses a proxy whose result is not
/// clean (its peer check stays on for proxies only).
int AcceptAtHandshake(int, X509_STORE_CTX*) {
    return 1;
}

CURLcode OnSslContext(CURL* easy, void* context, void*) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, AcceptAtHandshake);
    // libcurl loads the trusted authorities only where it checks the peer
    // itself; the origin's chain is judged against the same ones.
    char* file = nullptr;
    char* folder = nullptr;
    curl_easy_getinfo(easy, CURLINFO_CAINFO, &file);
    curl_easy_getinfo(easy, CURLINFO_CAPATH, &folder);
    if ((file == nullptr && folder == nullptr) ||
        SSL_CTX_load_verify_locations(ctx, file, folder) != 1) {
        SSL_CTX_set_default_verify_paths(ctx);
    }
    return CURLE_OK;
}

/// What one TLS connection was judged to need forgiven, kept with it.
struct ConnectionVerdict {
    std::string host;
    std::vector<int> problems;
};

// The verdict belongs to OpenSSL's connection object and is freed with it
// through this callback: ownership has to pass through a raw pointer here.
void FreeVerdict(void*, void* verdict, CRYPTO_EX_DATA*, int, long, void*) {
    delete static_cast<ConnectionVerdict*>(verdict);
}

int VerdictIndex() {
    static const int index =
        CRYPTO_get_ex_new_index(CRYPTO_EX_INDEX_SSL, 0, nullptr, nullptr, nullptr, FreeVerdict);
    return index;
}

int CollectProblem(int ok, X509_STORE_CTX* store) {
    if (ok == 0) {
        static_cast<std::vector<int>*>(X509_STORE_CTX_get_ex_data(store, 0))
            ->push_back(X509_STORE_CTX_get_error(store));
    }
    return 1; // go on, to see every problem in the order verification meets them
}

bool IsAddress(const std::string& host) {
    in6_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

/// Whether the certificate names `host`, by the rules browsers and libcurl
/// keep: a wildcard only as a whole leftmost label, a trailing dot ignored,
/// an address matched by an address name, and the common name consulted
/// only by a certificate that has no subject alternative name at all.
bool NameMatches(X509* leaf, std::string host) {
    if (host.size() > 1 && host.back() == '.') {
        host.pop_back();
    }
    constexpr unsigned kFlags = X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS;
    const bool alternativeNames = X509_get_ext_by_NID(leaf, NID_subject_alt_name, -1) >= 0;
    if (IsAddress(host)) {
        return X509_check_ip_asc(leaf, host.c_str(), 0) == 1 ||
               (!alternativeNames &&
                X509_check_host(leaf, host.data(), host.size(), kFlags, nullptr) == 1);
    }
    return X509_check_host(leaf, host.data(), host.size(), kFlags, nullptr) == 1;
}

struct StoreContextFree {
    void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};

/// Verifies the chain the server showed on `ssl` (kept with the TLS session,
/// so a resumed one has it too) against the trusted authorities, then its
/// name against `host`, as a server's certificate.
std::vector<int> ProblemsOf(SSL* ssl, const std::string& host) {
    X509* leaf = SSL_get0_peer_certificate(ssl);
    std::unique_ptr<X509_STORE_CTX, StoreContextFree> context(X509_STORE_CTX_new());
    if (leaf == nullptr || !context ||
        X509_STORE_CTX_init(context.get(), SSL_CTX_get_cert_store(SSL_get_SSL_CTX(ssl)), leaf,
                            SSL_get_peer_cert_chain(ssl)) != 1) {
        return {X509_V_ERR_UNSPECIFIED};
    }
    // As the handshake verifies: the connection's own parameters and its
    // security level (key sizes, digests) on top of a server's purpose.
    std::vector<int> problems;
    X509_STORE_CTX_set_default(context.get(), "ssl_server");
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set1(param, SSL_get0_param(ssl));
    X509_VERIFY_PARAM_set_auth_level(param, SSL_get_security_level(ssl));
    X509_STORE_CTX_set_ex_data(context.get(), 0, &problems);
    X509_STORE_CTX_set_verify_cb(context.get(), CollectProblem);
    if (X509_verify_cert(context.get()) != 1 && problems.empty()) {
        problems.push_back(X509_V_ERR_UNSPECIFIED);
    }
    if (!NameMatches(leaf, host)) {
        problems.push_back(IsAddress(host) ? X509_V_ERR_IP_ADDRESS_MISMATCH
                                           : X509_V_ERR_HOSTNAME_MISMATCH);
    }
    return problems;
}

/// The host and port of `url`, the host without IPv6 brackets.
std::pair<std::string, std::string> HostAndPort(const std::string& url) {
    std::pair<std::string, std::string> found;
    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
        return found;
    }
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        found.first = host;
        found.second = port;
        if (found.first.size() > 1 && found.first.front() == '[') {
            found.first = found.first.substr(1, found.first.size() - 2);
        }
    }
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parsed);
    return found;
}

/// What the connection of `ssl` needs forgiven for `host`: verified once per
/// connection and kept with it (a connection serves one host name).
std::vector<int> ConnectionProblems(SSL* ssl, const std::string& host) {
    auto* kept = static_cast<ConnectionVerdict*>(SSL_get_ex_data(ssl, VerdictIndex()));
    if (kept != nullptr && kept->host == host) {
        return kept->problems;
    }
    auto fresh =
        std::make_unique<ConnectionVerdict>(ConnectionVerdict{host, ProblemsOf(ssl, host)});
    std::vector<int> problems = fresh->problems;
    if (SSL_set_ex_data(ssl, VerdictIndex(), fresh.get()) == 1) {
        static_cast<void>(fresh.release()); // the connection owns it now (FreeVerdict)
        delete kept;                        // replaced: no longer reachable from it
    }
    return problems;
}

} // namespace

DWORD TlsLeniency(DWORD securityFlags) {
    return securityFlags & kLeniencyBits;
}

void ApplyTlsPolicy(CURL* easy, TlsCheck* check) {
    check->refusedError = 0;
    check->problems.clear();
    // Every connection is made alike, whatever the request's flags, so that
    // libcurl lets any request to the host reuse it; the origin's chain and
    // name are judged per request. A proxy reached over TLS is held to the
    // full checks by libcurl itself, whatever the request forgives.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
}

std::string TlsHostKey(const std::string& url) {
    const auto [host, port] = HostAndPort(url);
    return host + ":" + port;
}

bool JudgeConnection(CURL* easy, TlsCheck& check) {
    check.judged = false;
    curl_tlssessioninfo* info = nullptr;
    char* url = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_TLS_SSL_PTR, &info) != CURLE_OK || info == nullptr ||
        info->backend != CURLSSLBACKEND_OPENSSL || info->internals == nullptr ||
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) {
        check.problems = {X509_V_ERR_UNSPECIFIED}; // nothing to judge: nothing is forgiven
    } else {
        check.problems =
            ConnectionProblems(static_cast<SSL*>(info->internals), HostAndPort(url).first);
        check.judged = true;
    }
    check.refusedError = FirstUnforgiven(check.problems, check.securityFlags);
    return check.refusedError == 0;
}

int FirstUnforgiven(const std::vector<int>& problems, DWORD securityFlags) {
    for (const int problem : problems) {
        const DWORD flag = ForgivingFlag(problem);
        if (flag == 0 || (securityFlags & flag) == 0) {
            return problem;
        }
    }
    return 0;
}

std::optional<std::vector<int>> TlsVerdicts::Known(const std::string& hostPort) {
    const MutexLock lock(m_mutex);
    const auto found = m_hosts.find(hostPort);
    if (found == m_hosts.end() || Clock::now() - found->second.when > kTrusted) {
        return std::nullopt;
    }
    return found->second.problems;
}

void TlsVerdicts::Remember(const std::string& hostPort, std::vector<int> problems) {
    const MutexLock lock(m_mutex);
    const Clock::time_point now = Clock::now();
    if (m_hosts.size() >= kPruneAt) {
        std::erase_if(m_hosts,
                      [now](const auto& host) { return now - host.second.when > kTrusted; });
    }
    m_hosts[hostPort] = {std::move(problems), now};
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
        // Only a proxy's certificate is checked by libcurl (an origin's is
        // judged by JudgeConnection, which sets refusedError).
        return ERROR_INTERNET_SEC_INVALID_CERT;
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
