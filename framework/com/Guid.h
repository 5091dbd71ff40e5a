// SPDX-License-Identifier: Apache-2.0
// GUID: the 128-bit identifiers of COM classes, interfaces, type libraries
// and component categories.
//
// The registry and host pages refer to them in their braced text form,
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; the fields print as numbers (the
// first three) and then as eight single bytes.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    std::array<std::uint8_t, 8> Data4;

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

using CLSID = GUID;
using IID = GUID;
using CATID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const GUID&;
using REFIID = const GUID&;

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

/// The registry form: braced, upper-case hex.
std::u16string GuidToString(const GUID& guid);

/// Parses the braced form (hex digits of either case). Without braces only
/// when `bracesOptional`, as the "clsid:" form of a host page writes it.
/// Nothing for any other text.
std::optional<GUID> GuidFromString(std::u16string_view text, bool bracesOptional = false);
