// SPDX-License-Identifier: Apache-2.0
#include "net/HeaderBlock.h"

#include "foundation/TextUnits.h"

#include <cstdint>

namespace {

/// One CR LF-ended line of a block: [start, end) is its text without CR LF,
/// `next` the index after its CR LF; `colon` the index of the first ": "
/// inside the line, or -1 when the line has no name.
struct Line {
    std::int32_t start;
    std::int32_t end;
    std::int32_t next;
    std::int32_t colon;
};

std::int32_t FindCrLf(const char16_t* text, std::int32_t from, std::int32_t length) {
    for (std::int32_t i = from; i + 1 < length; ++i) {
        if (text[i] == u'\r' && text[i + 1] == u'\n') {
            return i;
        }
    }
    return -1;
}

std::int32_t FindColonSpace(const char16_t* text, std::int32_t from, std::int32_t end) {
    for (std::int32_t i = from; i + 1 < end; ++i) {
        if (text[i] == u':' && text[i + 1] == u' ') {
            return i;
        }
    }
    return -1;
}

/// Reads the line that starts at `from`; false when no CR LF follows.
bool ReadLine(const char16_t* text, std::int32_t length, std::int32_t from, Line& line) {
    const std::int32_t end = FindCrLf(text, from, length);
    if (end < 0) {
        return false;
    }
    line = {from, end, end + 2, FindColonSpace(text, from, end)};
    return true;
}

bool NameMatches(const char16_t* text, const Line& line, const char16_t* name,
                 std::int32_t nameLength) {
    return line.colon >= 0 && line.colon - line.start == nameLength &&
           vel::EqualNoCase(text + line.start, name, nameLength);
}

} // namespace

BOOL GetHeader(const CVELString& block, const char16_t* name, CVELString& value) {
    value.Empty();
    const std::int32_t nameLength = vel::TextLength(name);
    const char16_t* text = block.GetData();
    Line line{};
    for (std::int32_t pos = 0; ReadLine(text, block.GetLength(), pos, line); pos = line.next) {
        const std::int32_t valueStart = line.colon + 2;
        if (!NameMatches(text, line, name, nameLength) || valueStart == line.end) {
            continue;
        }
        if (value.GetLength() > 0) {
            value.Append(u"; ", 2);
        }
        value.Append(text + valueStart, line.end - valueStart);
    }
    return value.GetLength() > 0;
}

void RemoveHeader(CVELString& block, const char16_t* name) {
    const std::int32_t nameLength = vel::TextLength(name);
    Line line{};
    std::int32_t pos = 0;
    while (ReadLine(block.GetData(), block.GetLength(), pos, line)) {
        if (NameMatches(block.GetData(), line, name, nameLength)) {
            block.Delete(line.start, line.next - line.start);
        } else {
            pos = line.next;
        }
    }
}

void AddHeader(CVELString& block, const char16_t* name, const char16_t* value) {
    block.Append(name);
    block.Append(u": ", 2);
    block.Append(value);
    block.Append(u"\r\n", 2);
}

void SetHeader(CVELString& block, const char16_t* name, const char16_t* value) {
    RemoveHeader(block, name);
    AddHeader(block, name, value);
}

void AddHeaderLines(CVELString& block, const char16_t* text) {
    const std::int32_t length = vel::TextLength(text);
    Line line{};
    for (std::int32_t pos = 0; ReadLine(text, length, pos, line); pos = line.next) {
        if (line.colon >= 0) {
            block.Append(text + line.start, line.next - line.start);
        }
    }
}

void SetHeaderLines(CVELString& block, const char16_t* text) {
    block.Empty();
    AddHeaderLines(block, text);
}
