// SPDX-License-Identifier: Apache-2.0
// What a request marked as an HTTP cache's (the proxy's forwarded requests)
// may keep of its response, and the head every kept entry is stored with.
//
// A crawl keeps every 200 response to a GET, whatever its head says. A
// browser's request forwarded by the proxy is kept only as an HTTP cache may
// keep it: never what the request or the response marks no-store or a
// "Vary: *" response; as a shared cache (serving other people) also never
// what is marked private, nor the answer to a request that carried
// credentials unless the response says it may be shared. Cookies a response
// sets belong to the one browser that received them: the stored head of
// such a request never holds them.
#pragma once

#include "platform/cache/EntryMarks.h"
#include "platform/inet/ResponseHead.h"

#include <string>
#include <string_view>

namespace inet {

// The marks a kept response carries (EntryMarks.h), under the library's names.
using urlcache::kCacheField;
using urlcache::kCertificateField;
using urlcache::kThisMachineValue;
using urlcache::kUnverifiedValue;

/// True when `head` (a complete 200 response to a GET whose header lines
/// were `requestBlock`) may be stored by a private cache or, with `shared`,
/// a shared one.
bool MayStoreResponse(const ResponseHead& head, std::string_view requestBlock, bool shared);

/// True when the entry for `head` (the response to a request with the
/// header lines `requestBlock`) may answer only this machine's user.
bool OnlyForThisMachine(const ResponseHead& head, std::string_view requestBlock, bool shared);

/// How a head is stored: what to drop and which marks to add.
struct StoredHeadMarks {
    bool dropCookies = false;
    bool unverified = false;
    bool thisMachineOnly = false;
};

/// The head text to store for `raw` (status line, header lines, empty
/// line): without Set-Cookie lines when `dropCookies`, with the marks asked
/// for, and without any such mark the server sent.
std::string StoredHeadText(std::string_view raw, const StoredHeadMarks& marks);

} // namespace inet
