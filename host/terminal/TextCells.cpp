// SPDX-License-Identifier: Apache-2.0
#include "host/terminal/TextCells.h"

#include "platform/text/Utf8.h"

#include <cwchar>

namespace {

constexpr wchar_t kReplacement = L'\uFFFD';

int CharWidth(wchar_t c) {
    const int width = ::wcwidth(c);
    return width < 0 ? 1 : width;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

/// Appends the words of one line (no line breaks inside) wrapped to `cells`.
void WrapLine(std::wstring_view line, int cells, std::vector<std::wstring>& lines) {
    std::wstring current;
    int used = 0;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t space = line.find(L' ', at);
        const std::size_t end = space == std::wstring_view::npos ? line.size() : space;
        std::wstring_view word = line.substr(at, end - at);
        at = end == line.size() ? end : end + 1;
        int width = CellWidth(word);
        if (used > 0 && used + 1 + width > cells) {
            lines.push_back(current);
            current.clear();
            used = 0;
        }
        if (used > 0) {
            current += L' ';
            ++used;
        }
        // A word longer than a line is broken where the line ends.
        while (width > cells - used) {
            std::size_t fit = 0;
            int taken = 0;
            while (fit < word.size() && taken + CharWidth(word[fit]) <= cells - used) {
                taken += CharWidth(word[fit++]);
            }
            if (fit == 0 && used == 0) {
                fit = 1; // a character wider than the line still goes somewhere
            }
            current.append(word.substr(0, fit));
            lines.push_back(current);
            current.clear();
            used = 0;
            word.remove_prefix(fit);
            width = CellWidth(word);
        }
        current.append(word);
        used += width;
    }
    lines.push_back(current);
}

} // namespace

std::wstring WideText(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            c = u'\n';
        }
        out += c == u'\n' ? L'\n' : IsControl(c) ? kReplacement : static_cast<wchar_t>(c);
    }
    return out;
}

std::wstring WideText(std::string_view utf8) {
    return WideText(Utf8ToUtf16(utf8));
}

int CellWidth(std::wstring_view text) {
    int width = 0;
    for (const wchar_t c : text) {
        width += CharWidth(c);
    }
    return width;
}

std::wstring ClipToCells(std::wstring_view text, int cells) {
    if (CellWidth(text) <= cells) {
        return std::wstring(text);
    }
    std::wstring out;
    int used = 0;
    for (const wchar_t c : text) {
        if (used + CharWidth(c) > cells - 1) {
            break;
        }
        out += c;
        used += CharWidth(c);
    }
    if (cells > 0) {
        out += L'…';
    }
    return out;
}

std::wstring OneLine(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c == L'\n') {
            c = L' ';
        }
    }
    return out;
}

std::vector<std::wstring> WrapToCells(std::wstring_view text, int cells) {
    std::vector<std::wstring> lines;
    if (cells <= 0) {
        return lines;
    }
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = text.find(L'\n', at);
        WrapLine(
            text.substr(at, end == std::wstring_view::npos ? std::wstring_view::npos : end - at),
            cells, lines);
        if (end == std::wstring_view::npos) {
            break;
        }
        at = end + 1;
    }
    return lines;
}
