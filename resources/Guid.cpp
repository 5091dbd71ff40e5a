#include "resources/Guid.h"

namespace {

void AppendHex(std::u16string& out, std::uint32_t value, int digits) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(kHex[(value >> shift) & 0xFu]);
    }
}

} // namespace

std::u16string GuidToString(const GUID& guid) {
    std::u16string out;
    out.reserve(38);
    out.push_back(u'{');
    AppendHex(out, guid.Data1, 8);
    out.push_back(u'-');
    AppendHex(out, guid.Data2, 4);
    out.push_back(u'-');
    AppendHex(out, guid.Data3, 4);
    out.push_back(u'-');
    for (std::size_t i = 0; i < guid.Data4.size(); ++i) {
        if (i == 2) {
            out.push_back(u'-');
        }
        AppendHex(out, guid.Data4[i], 2);
    }
    out.push_back(u'}');
    return out;
}
