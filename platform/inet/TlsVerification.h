// SPDX-License-Identifier: Apache-2.0
// Certificate checks with per-request forgiveness, judged per connection.
//
// Every connection is made alike: the handshake accepts whatever chain the
// server shows, so that requests with other security flags can share the
// connection. Before a request is sent on a connection (new, reused or on a
// resumed TLS session), its chain and host name are verified once per
// connection and judged under that request's own flags: a problem the flags
// do not forgive (unknown authority, bad dates, wrong name, wrong usage, or
// anything no flag forgives) fails the request before a byte of it is sent,
// with the error of the first such problem.
//
// What a host's chain needs forgiven is remembered per session for a short
// while, so a request that would be refused is refused without touching the
// network, and its resend with relaxed flags reuses the connection open to
// the host. (The first request refused on a connection costs that
// connection: libcurl closes a connection whose request was stopped.)
// A proxy reached over TLS is always held to the full checks.
#pragma once

#include "platform/kernel/ThreadSafety.h"
#include "platform/kernel/WinTypes.h"

#include <curl/curl.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace inet {

/// The security flags that relax certificate checks.
DWORD TlsLeniency(DWORD securityFlags);

/// Per-transfer state of the checks. Must outlive the transfer.
struct TlsCheck {
    DWORD securityFlags = 0;
    int refusedError = 0; // first X509_V_ERR_* value not forgiven, 0 if none
    /// The problems of the connection the request was judged on, in the
    /// order verification met them (X509_V_ERR_* values).
    std::vector<int> problems;
    /// Whether a chain was there to judge (false: nothing is forgiven).
    bool judged = false;
};

/// Sets `easy` up for the checks above: every connection alike, TLS
/// sessions resumed.
void ApplyTlsPolicy(CURL* easy, TlsCheck* check);

/// "host:port" of `url` (the port as the scheme implies when not given):
/// the key a host's verdict is remembered under.
std::string TlsHostKey(const std::string& url);

/// Judges the TLS connection `easy` is about to send on under `check`'s
/// flags; false, with `check.refusedError` set, when the request must not
/// be sent. `check.problems` says what the connection's chain needs forgiven.
[[nodiscard]] bool JudgeConnection(CURL* easy, TlsCheck& check);

/// The first of `problems` that `securityFlags` do not forgive; 0 for none.
int FirstUnforgiven(const std::vector<int>& problems, DWORD securityFlags);

/// The last-error value for a transfer that failed with `result`, when the
/// failure comes from the TLS layer; 0 otherwise.
DWORD TlsFailureError(CURLcode result, const TlsCheck& check);

/// What the chains of a session's hosts were last seen to need forgiven, on
/// the connections requests to them were judged on (new, reused or on a
/// resumed TLS session: as long as those go on showing a chain, requests are
/// judged against it, which is what they would meet).
class TlsVerdicts {
  public:
    using Clock = std::chrono::steady_clock;
    /// How long a host's verdict stands without a request judged on a
    /// connection to it; after that a request asks the network again.
    static constexpr std::chrono::seconds kTrusted{60};
    /// Hosts kept before those past kTrusted are dropped.
    static constexpr std::size_t kPruneAt = 256;

    /// The problems last seen for `hostPort`, when seen within kTrusted.
    std::optional<std::vector<int>> Known(const std::string& hostPort);
    void Remember(const std::string& hostPort, std::vector<int> problems);

  private:
    struct Seen {
        std::vector<int> problems;
        Clock::time_point when;
    };
    AnnotatedMutex m_mutex;
    std::map<std::string, Seen> m_hosts DRAVIK_GUARDED_BY(m_mutex);
};

} // namespace inet
