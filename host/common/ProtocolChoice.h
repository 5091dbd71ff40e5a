// SPDX-License-Identifier: Apache-2.0
// What --http2 means, in the same words for every command that takes it.
#pragma once

inline constexpr const char* kHttp2Help =
    "offer HTTP/2 to https servers: where a server takes it, requests to it share one "
    "connection as streams (a crawl's, as many at once as --connections); the requests "
    "are the same as without it, and plain http stays HTTP/1.0";
