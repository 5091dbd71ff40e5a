// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/ApiResults.h"

#include "platform/kernel/LastError.h"

#include <cstring>

namespace inet {

BOOL FailWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL ReturnText(const std::u16string& text, void* buffer, DWORD* length, bool lengthInBytes) {
    if (length == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // A text whose size in bytes does not fit a DWORD cannot be described
    // to the caller at all.
    if (text.size() >= 0x7FFFFFFFu / sizeof(char16_t)) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    if (buffer == nullptr || *length < needed) {
        *length = needed;
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), needed);
    *length = static_cast<DWORD>(lengthInBytes ? text.size() * sizeof(char16_t) : text.size());
    return TRUE;
}

BOOL ReturnDword(DWORD value, void* buffer, DWORD* length) {
    if (length == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (buffer == nullptr || *length < sizeof(DWORD)) {
        *length = sizeof(DWORD);
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof(DWORD);
    return TRUE;
}

std::u16string WideText(const char16_t* text) {
    return text == nullptr ? std::u16string() : std::u16string(text);
}

std::u16string WideText(const char16_t* text, DWORD length) {
    if (text == nullptr) {
        return {};
    }
    return length == static_cast<DWORD>(-1) ? std::u16string(text) : std::u16string(text, length);
}

} // namespace inet
