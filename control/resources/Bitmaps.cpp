// SPDX-License-Identifier: Apache-2.0
#include "control/resources/Bitmaps.h"
#include "control/resources/ResourceIds.h"

#include <array>

namespace {

constexpr std::size_t kWidth = 16;
constexpr std::size_t kHeight = 15;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kColours = 16;
// 4 bits a pixel, each row padded to 4 bytes.
constexpr std::size_t kRowBytes = ((kWidth * 4 + 31) / 32) * 4;
constexpr std::size_t kDibSize = kInfoHeaderSize + kColours * 4 + kRowBytes * kHeight;

// Bitmap 1, the toolbox image: a page of text and an arrow down into a
// tray, on the dialog-grey background. One hex digit per pixel, an index
// into the colour table below; the top row first.
constexpr const char* kToolboxRows[kHeight] = {
    "7777777777777777", "0000000077777777", "0FFFFFF077777777", "0F8888F0777CC777",
    "0FFFFFF0777CC777", "0F888FF0777CC777", "0FFFFFF0777CC777", "0F8888F0777CC777",
    "0FFFFFF0777CC777", "0F88FFF07CCCCCC7", "0FFFFFF077CCCC77", "0F888FF0777CC777",
    "0FFFFFF070777707", "0000000070000007", "7777777777777777",
};

// The sixteen standard colours as red, green, blue.
constexpr std::uint8_t kPalette[kColours][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

constexpr std::uint8_t Nibble(char c) {
    return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10);
}

template <std::size_t N>
constexpr void PutLittleEndian(std::array<std::uint8_t, N>& out, std::size_t at, std::size_t value,
                               std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

constexpr std::array<std::uint8_t, kDibSize> MakeToolboxBitmap() {
    std::array<std::uint8_t, kDibSize> dib{};
    PutLittleEndian(dib, 0, kInfoHeaderSize, 4);      // biSize
    PutLittleEndian(dib, 4, kWidth, 4);               // biWidth
    PutLittleEndian(dib, 8, kHeight, 4);              // biHeight: bottom-up rows
    PutLittleEndian(dib, 12, 1, 2);                   // biPlanes
    PutLittleEndian(dib, 14, 4, 2);                   // biBitCount
    PutLittleEndian(dib, 16, 0, 4);                   // biCompression: BI_RGB
    PutLittleEndian(dib, 20, kRowBytes * kHeight, 4); // biSizeImage
    PutLittleEndian(dib, 32, kColours, 4);            // biClrUsed
    for (std::size_t i = 0; i < kColours; ++i) {
        const std::size_t at = kInfoHeaderSize + 4 * i; // RGBQUAD: blue, green, red, 0
        dib[at] = kPalette[i][2];
        dib[at + 1] = kPalette[i][1];
        dib[at + 2] = kPalette[i][0];
    }
    const std::size_t pixels = kInfoHeaderSize + kColours * 4;
    for (std::size_t y = 0; y < kHeight; ++y) {
        const char* row = kToolboxRows[kHeight - 1 - y];
        for (std::size_t x = 0; x < kWidth; x += 2) {
            dib[pixels + y * kRowBytes + x / 2] =
                static_cast<std::uint8_t>((Nibble(row[x]) << 4) | Nibble(row[x + 1]));
        }
    }
    return dib;
}

constexpr std::array<std::uint8_t, kDibSize> kToolboxBitmap = MakeToolboxBitmap();

} // namespace

std::span<const std::uint8_t> LoadResourceBitmap(int id) {
    if (id == IDB_DRAVIK) {
        return kToolboxBitmap;
    }
    return {};
}
