// SPDX-License-Identifier: Apache-2.0
#include "platform/profile/IniText.h"

#include "platform/text/Utf8.h"

#include <algorithm>
#include <optional>

namespace {

enum class LineKind { Blank, Comment, Header, Entry };

struct Line {
    std::string_view raw;  // as in the file, line ending included
    std::string_view text; // without the line ending
    LineKind kind;
};

// A half-open range of line indexes [begin, end).
struct LineRange {
    std::size_t begin;
    std::size_t end;
};

LineKind Classify(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return LineKind::Blank;
    }
    if (text[start] == ';') {
        return LineKind::Comment;
    }
    if (text[start] == '[' && text.find(']', start) != std::string_view::npos) {
        return LineKind::Header;
    }
    return LineKind::Entry;
}

std::string_view WithoutEnding(std::string_view raw) {
    if (!raw.empty() && raw.back() == '\n') {
        raw.remove_suffix(1);
    }
    if (!raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
    }
    return raw;
}

// Editors on some systems start a UTF-8 file with a byte order mark; it
// must not hide a section header on the first line. It stays in the raw
// text, so a rewrite keeps it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::vector<Line> SplitLines(std::string_view file) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < file.size()) {
        const std::size_t newline = file.find('\n', pos);
        const std::size_t next = newline == std::string_view::npos ? file.size() : newline + 1;
        const std::string_view raw = file.substr(pos, next - pos);
        std::string_view text = WithoutEnding(raw);
        if (pos == 0 && text.starts_with(kByteOrderMark)) {
            text.remove_prefix(kByteOrderMark.size());
        }
        lines.push_back({raw, text, Classify(text)});
        pos = next;
    }
    return lines;
}

std::u16string HeaderName(std::string_view text) {
    const std::size_t open = text.find('[');
    const std::size_t close = text.rfind(']');
    return Utf8ToUtf16(text.substr(open + 1, close - open - 1));
}

// The lines of the first section named `section`: its header, then every
// line up to the next header or the end of the file.
std::optional<LineRange> FindSection(const std::vector<Line>& lines, std::u16string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::Header ||
            !SectionNamesEqual(HeaderName(lines[i].text), section)) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && lines[end].kind != LineKind::Header) {
            ++end;
        }
        return LineRange{i, end};
    }
    return std::nullopt;
}

// The lines from the section's first entry to its last, with whatever lies
// between them; an empty range just after the header when there are none.
LineRange EntryRange(const std::vector<Line>& lines, LineRange section) {
    LineRange range{section.begin + 1, section.begin + 1};
    bool found = false;
    for (std::size_t i = section.begin + 1; i < section.end; ++i) {
        if (lines[i].kind == LineKind::Entry) {
            range.begin = found ? range.begin : i;
            range.end = i + 1;
            found = true;
        }
    }
    return range;
}

// Appends one line, first ending the previous one if the file's last line
// had no line ending.
void AppendLine(std::string& out, std::string_view line) {
    if (!out.empty() && out.back() != '\n') {
        out.push_back('\n');
    }
    out.append(line);
}

void AppendEntries(std::string& out, const std::vector<std::u16string>& entries) {
    for (const std::u16string& entry : entries) {
        AppendLine(out, Utf16ToUtf8(entry));
        out.push_back('\n');
    }
}

bool HasLineBreak(std::u16string_view text) {
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

char16_t FoldAsciiLetter(char16_t u) {
    return u >= u'A' && u <= u'Z' ? char16_t(u - u'A' + u'a') : u;
}

} // namespace

bool SectionNamesEqual(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) {
        return FoldAsciiLetter(x) == FoldAsciiLetter(y);
    });
}

std::vector<std::u16string> ReadIniSection(std::string_view file, std::u16string_view section) {
    const std::vector<Line> lines = SplitLines(file);
    const std::optional<LineRange> span = FindSection(lines, section);
    std::vector<std::u16string> entries;
    if (!span) {
        return entries;
    }
    for (std::size_t i = span->begin + 1; i < span->end; ++i) {
        if (lines[i].kind != LineKind::Entry) {
            continue;
        }
        std::u16string entry = Utf8ToUtf16(lines[i].text);
        std::replace(entry.begin(), entry.end(), u'\0', u'\uFFFD');
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string ReplaceIniSection(std::string_view file, std::u16string_view section,
                              const std::vector<std::u16string>& entries) {
    const std::vector<Line> lines = SplitLines(file);
    const std::optional<LineRange> span = FindSection(lines, section);
    std::string out;
    out.reserve(file.size() + 64 * (entries.size() + 1));
    if (!span) {
        out.append(file);
        std::string header(1, '[');
        header.append(Utf16ToUtf8(section)).append("]\n");
        AppendLine(out, header);
        AppendEntries(out, entries);
        return out;
    }
    const LineRange old = EntryRange(lines, *span);
    for (std::size_t i = 0; i < old.begin; ++i) {
        AppendLine(out, lines[i].raw);
    }
    AppendEntries(out, entries);
    for (std::size_t i = old.end; i < lines.size(); ++i) {
        AppendLine(out, lines[i].raw);
    }
    return out;
}

bool IsStorableSectionName(std::u16string_view name) {
    return !HasLineBreak(name);
}

bool IsStorableEntry(std::u16string_view entry) {
    return !HasLineBreak(entry) && Classify(Utf16ToUtf8(entry)) == LineKind::Entry;
}
