// SPDX-License-Identifier: Apache-2.0
// Fuzzes the header-block operations: the input is split into a block, a
// header name and a value, and every operation must keep the block's own
// invariants and the documented results.
#include "fuzz/FuzzChecks.h"
#include "net/HeaderBlock.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace fuzzcheck;

namespace {

std::u16string Units(const std::uint8_t* data, std::size_t size) {
    std::u16string out;
    for (std::size_t i = 0; i < size; ++i) {
        // A small alphabet makes CR LF, ": " and name matches frequent.
        static const char16_t alphabet[] = u"\r\n: aAbB;=\t\x00e9\xff01";
        const std::uint8_t byte = data[i];
        out.push_back(byte < 0xC0 ? alphabet[byte % 13] : char16_t(byte));
    }
    return out;
}

bool EndsWithCrLf(const CVELString& s) {
    const auto n = s.GetLength();
    return n == 0 || (n >= 2 && s.GetData()[n - 2] == u'\r' && s.GetData()[n - 1] == u'\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string all = Units(data, size);
    const std::size_t cut1 = all.size() * 2 / 3;
    const std::size_t cut2 = cut1 + (all.size() - cut1) / 2;
    const std::u16string text = all.substr(0, cut1);
    std::u16string name = all.substr(cut1, cut2 - cut1);
    std::u16string value = all.substr(cut2);

    CVELString block;
    SetHeaderLines(block, text.c_str());
    CheckTerminated(block);
    Check(EndsWithCrLf(block));
    Check(block.GetLength() <=
          static_cast<std::int32_t>(std::char_traits<char16_t>::length(text.c_str())));

    CVELString got;
    GetHeader(block, name.c_str(), got);
    CheckTerminated(got);

    RemoveHeader(block, name.c_str());
    CheckTerminated(block);
    Check(EndsWithCrLf(block));
    Check(!GetHeader(block, name.c_str(), got));

    // A plain name and value set on the block read back exactly.
    const bool plainName = !name.empty() && name.find_first_of(u"\r\n: ") == std::u16string::npos &&
                           name.find(char16_t(0)) == std::u16string::npos;
    const bool plainValue =
        !value.empty() && value.find_first_of(u"\r\n") == std::u16string::npos &&
        value.front() != u' ' && value.find(char16_t(0)) == std::u16string::npos;
    SetHeader(block, name.c_str(), value.c_str());
    CheckTerminated(block);
    if (plainName && plainValue) {
        Check(GetHeader(block, name.c_str(), got));
        Check(std::u16string(got.GetData(), got.GetLength()) == value);
    }
    return 0;
}
