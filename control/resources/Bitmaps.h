// SPDX-License-Identifier: Apache-2.0
// The control's bitmaps, kept as the platform keeps bitmap resources: a
// packed device-independent bitmap (the info header, the colour table,
// then the pixel rows from the bottom up, each padded to four bytes).
#pragma once

#include <cstdint>
#include <span>

/// The packed bitmap of the given IDB_ id; empty when there is none.
std::span<const std::uint8_t> LoadResourceBitmap(int id);
