// SPDX-License-Identifier: Apache-2.0
// Fuzzes how a host page's bytes are decoded: the byte-order mark, the
// HTTP charset (the first input byte picks one) and the <meta> prescan.
//
// Whatever comes in, what comes out is well-formed UTF-8, and a page that
// declares nothing and is UTF-8 already comes out unchanged.
#include "host/common/PageEncoding.h"
#include "platform/text/Utf8.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

constexpr std::array<std::string_view, 8> kCharsets = {
    "", "utf-8", "iso-8859-1", "utf-16", "utf-16be", "shift_jis", "koi8-r", "no-such-charset"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view charset = kCharsets[data[0] % kCharsets.size()];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const DecodedPage page = DecodePage(bytes, charset);
    Check(Utf16ToUtf8(Utf8ToUtf16(page.text)) == page.text);
    std::string lower(bytes);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    const bool plain = lower.find("charset") == std::string::npos;
    if (charset.empty() && plain && !bytes.starts_with("\xFF\xFE") &&
        !bytes.starts_with("\xFE\xFF") && !bytes.starts_with("\xEF\xBB\xBF") &&
        Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes) {
        Check(page.text == bytes && page.encoding == "utf-8");
    }
    (void)CharsetOfContentType(bytes);
    return 0;
}
