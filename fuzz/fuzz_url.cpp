// SPDX-License-Identifier: Apache-2.0
// Fuzzes URL splitting and reference resolution.
//
// The input is read as little-endian UTF-16 units. A zero unit separates the
// base from the reference; without one, the whole input is the reference and
// a fixed page URL is the base, so most inputs reach the resolution steps.
#include "fuzz/FuzzChecks.h"
#include "net/ResolveUrl.h"
#include "net/Url.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace fuzzcheck;

namespace {

constexpr char16_t kDefaultBase[] = u"http://h:81/a/b/c.html?x=1#top";

/// Parses `text` and checks the promises of a successful parse, including
/// that the parts written back as a URL parse to the same parts.
bool ParseAndCheck(const char16_t* text) {
    CVELString host;
    CVELString path;
    INTERNET_PORT port = 0;
    BOOL secure = 0;
    const BOOL ok = ParseURL(text, host, path, &port, &secure);
    CheckTerminated(host);
    CheckTerminated(path);
    if (!ok) {
        return false;
    }
    Check(host.GetLength() > 0 && host.Find(u':') < 0);
    Check(path.GetLength() > 0 && path.GetData()[0] == u'/');
    Check(secure == 0 || secure == 1);

    CVELString rebuilt;
    url::AppendOrigin(rebuilt, host, port, secure);
    rebuilt.Append(path);
    CVELString host2;
    CVELString path2;
    INTERNET_PORT port2 = 0;
    BOOL secure2 = 0;
    Check(ParseURL(rebuilt.GetData(), host2, path2, &port2, &secure2) != 0);
    Check(SameText(host, host2) && SameText(path, path2));
    Check(port == port2 && secure == secure2);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char16_t> units(size / 2 + 2, 0);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    const std::size_t count = size / 2;
    std::size_t split = 0;
    while (split < count && units[split] != 0) {
        ++split;
    }
    const char16_t* base = kDefaultBase;
    const char16_t* ref = units.data();
    if (split < count) {
        base = units.data();
        ref = units.data() + split + 1;
    }

    ParseAndCheck(base);
    ParseAndCheck(ref);

    const CVELString sentinel(u"unchanged");
    CVELString out(sentinel);
    if (ResolveURL(base, ref, out)) {
        CheckTerminated(out);
        Check(ParseAndCheck(out.GetData()));
    } else {
        Check(SameText(out, sentinel));
    }
    CheckTerminated(out);
    return 0;
}
