// SPDX-License-Identifier: Apache-2.0
// Texts measured in terminal cells: the UI model's UTF-16 texts turned into
// the wide characters ncurses draws, clipped and wrapped by the cells they
// take (a CJK character takes two, a combining mark none).
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// `text` as wide characters. Line breaks (CR LF, CR or LF) become '\n';
/// other control characters and unpaired surrogates become U+FFFD, so
/// nothing in a label can move the cursor or change the terminal's state.
std::wstring WideText(std::u16string_view text);
std::wstring WideText(std::string_view utf8);

/// The cells `text` takes on one line.
int CellWidth(std::wstring_view text);

/// The longest start of `text` that fits `cells`; when something is cut,
/// it ends with "…" instead.
std::wstring ClipToCells(std::wstring_view text, int cells);

/// `text` as one line: each line break a space.
std::wstring OneLine(std::wstring_view text);

/// `text` broken into lines of at most `cells`: at its line breaks, then
/// between words, and inside a word that is longer than a line.
std::vector<std::wstring> WrapToCells(std::wstring_view text, int cells);
