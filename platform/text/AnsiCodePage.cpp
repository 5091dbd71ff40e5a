// SPDX-License-Identifier: Apache-2.0
#include "platform/text/AnsiCodePage.h"

#include "platform/kernel/LastError.h"

#include <cstring>

namespace {

// Units for the bytes 0x80 to 0x9F; the undefined bytes keep their own number.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsAnsi(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_1252;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

int SourceLength(const char* src, int srcLength) {
    return srcLength == -1 ? static_cast<int>(std::strlen(src)) + 1 : srcLength;
}

} // namespace

char16_t AnsiByteToUnit(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte);
}

int AnsiUnitToByte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        return unit;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == unit) {
            return 0x80 + i;
        }
    }
    return -1;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, char16_t* dst,
                        int dstLength) {
    if (!IsAnsi(codePage) || flags != 0 || src == nullptr || srcLength == 0 || srcLength < -1 ||
        dstLength < 0 || (dstLength > 0 && dst == nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const int n = SourceLength(src, srcLength);
    if (dstLength == 0) {
        return n;
    }
    if (dstLength < n) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    for (int i = 0; i < n; ++i) {
        dst[i] = AnsiByteToUnit(bytes[i]);
    }
    return n;
}
