// GUID: the 128-bit identifiers of COM classes, interfaces and type
// libraries.
//
// The control's identifiers are fixed values (resources/TypeLibrary.h);
// hosts and the registry refer to them in their braced text form.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <array>
#include <cstdint>
#include <string>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    std::array<std::uint8_t, 8> Data4;

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

/// The registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::u16string GuidToString(const GUID& guid);
