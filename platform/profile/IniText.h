// SPDX-License-Identifier: Apache-2.0
// The text of a settings (INI) file: finding a section, reading its entries,
// and rewriting one section while leaving every other byte of the file alone.
//
// The file is handled as UTF-8 bytes and split into lines; only the lines of
// the section being written are ever re-encoded. Other sections, comments,
// blank lines, "\r\n" endings and even bytes that are not valid UTF-8 are
// copied through exactly, so a save never damages what it was not asked to
// change.
//
// A line is, after any leading spaces or tabs:
//   - blank: nothing else;
//   - a comment: starting with ";";
//   - a section header: starting with "[" and holding a "]"; the name is
//     everything between the "[" and the last "]", not trimmed;
//   - otherwise an entry, kept exactly as it stands (with or without "=").
// Lines end with "\n"; a "\r" before it belongs to the ending, not the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// True when two section names are equal with the letters A to Z folded;
/// every other unit (accented letters included) must match exactly. This is
/// how the Windows service compares names, and callers rely on it.
bool SectionNamesEqual(std::u16string_view a, std::u16string_view b);

/// The entries of the first section named `section`, in file order, each
/// decoded from UTF-8 (ill-formed bytes and zero bytes read as U+FFFD, so an
/// entry never holds the zero unit that separates entries). Empty when the
/// section is missing or has no entries.
std::vector<std::u16string> ReadIniSection(std::string_view file, std::u16string_view section);

/// The file with the entries of the first section named `section` replaced
/// by `entries`, one per line, ending "\n". The header line keeps its
/// spelling and the section its place. Comment and blank lines before the
/// first old entry and after the last stay where they are (those after the
/// last usually introduce the next section); those between old entries go
/// with them. A missing section is appended at the end of the file.
std::string ReplaceIniSection(std::string_view file, std::u16string_view section,
                              const std::vector<std::u16string>& entries);

/// True when `name` can be written as a header and read back as itself:
/// it holds no line break.
bool IsStorableSectionName(std::u16string_view name);

/// True when `entry` written as a line reads back as the same entry: it
/// holds no line break, and does not look like a blank line, a comment or a
/// section header (which would also let one entry start another section).
bool IsStorableEntry(std::u16string_view entry);
