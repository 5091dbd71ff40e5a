// SPDX-License-Identifier: Apache-2.0
// What a front end needs to say why a subscription's crawl failed, and
// what the crawl had to leave out. The crawl fills it in on its slot;
// nothing below the user interface turns it into words.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>

/// The largest page a crawl holds to walk it. A larger HTML page is still
/// read to its end (and so kept by the cache when it goes there) but not
/// walked.
constexpr std::int32_t kMaxWalkedPageBytes = std::int32_t{64} << 20;

/// The most connections a crawl may use at once.
constexpr std::int32_t kMaxConnections = 16;

struct CCrawlReport {
    /// The step of the crawl that failed it.
    enum class Step {
        kNone,     ///< the crawl did not fail (or did not run)
        kStartUrl, ///< the start URL is not an http or https URL
        kRefused,  ///< the retrieval policy refused the start URL: see m_refusal
        kSend,     ///< the start request could not be sent: m_dwError
        kResponse, ///< its status and headers could not be read: m_dwError
        kBody,     ///< its body could not be read: m_dwError
        kStatus,   ///< the start page came with a status other than 200: m_dwStatus
        kFinalUrl, ///< the URL the start page ended at, after redirects, does not parse
        kNoRoom,   ///< a text or body could not grow: m_dwError says whether it was
                   ///< too large for a 32-bit length or the memory ran out
    };
    /// The rule of the start host's policy that refused a URL.
    enum class Refusal {
        kNone,
        kNoQuery,   ///< the URL has no query
        kNoCommand, ///< the query names no command ("ORXCmd=")
        kCommand,   ///< the command, m_refused, is not an allowed command
        kNoMethod,  ///< "InvokeMethod" names no method ("ORXMethod=")
        kMethod,    ///< the method, m_refused, is not an allowed method
    };

    BOOL m_bCrawled = FALSE; ///< the last run crawled the slot (it was not passed over)
    Step m_step = Step::kNone;
    Refusal m_refusal = Refusal::kNone;
    DWORD m_dwError = 0;  ///< the last-error value of the failed step
    DWORD m_dwStatus = 0; ///< the start page's status
    CVELString m_startUrl;
    CVELString m_refused; ///< the command or method that is not allowed
    /// Pages that were fetched but not walked because walking them would
    /// have left the crawl too little stack: their references were not
    /// followed.
    std::int32_t m_nNotWalked = 0;
    /// HTML pages fetched to their end (and kept by the cache when they go
    /// there) but not walked because they are larger than the crawl holds
    /// (kMaxWalkedPageBytes); the first of them.
    std::int32_t m_nTooLarge = 0;
    CVELString m_tooLarge;
};
