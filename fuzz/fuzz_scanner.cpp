// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the HTML tag scanner.
//
// The input becomes a page: through the ANSI code page (one unit per byte)
// when its first byte is even, as little-endian unit pairs after that byte
// when it is odd, so units past 255 and lone zero units are covered too. The
// page is walked as the crawler walks it, and every result is checked against
// the scanner's promises and against a plain unit-by-unit model of the same
// rules, which the fast paths of the scanner must agree with.
#include "crawler/HtmlScanner.h"
#include "foundation/VELMemBuf.h"
#include "fuzz/FuzzChecks.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace fuzzcheck;

namespace {

CVELString MakePage(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && (data[0] & 1) != 0) {
        CVELString page;
        for (std::size_t i = 1; i + 1 < size; i += 2) {
            page.AppendChar(static_cast<char16_t>(data[i] | data[i + 1] << 8));
        }
        return page;
    }
    CVELMemBuf bytes;
    bytes.Insert(data, 0, static_cast<std::int32_t>(size));
    return CVELString(bytes);
}

std::u16string Units(const CVELString& text) {
    return std::u16string(text.GetData(), static_cast<std::size_t>(text.GetLength()));
}

bool IsSpace(char16_t c) {
    return c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

/// The tag parser's rules, one unit at a time, with nothing made fast.
struct Model {
    std::u16string tagName;
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    std::u16string n, v;
    bool valueMode = false;

    void Store() {
        // Names go into the list as zero-terminated text.
        pairs.emplace_back(n.substr(0, n.find(u'\0')), v);
    }
    bool EndWord() {
        if (tagName.empty()) {
            if (!v.empty()) {
                return false;
            }
            tagName = n;
        } else {
            Store();
        }
        return true;
    }
    bool Parse(const std::u16string& t) {
        char16_t quote = 0;
        bool space = false;
        for (std::size_t i = 1; i + 1 < t.size(); ++i) {
            const char16_t c = t[i];
            std::u16string& cur = valueMode ? v : n;
            if (IsSpace(c)) {
                if (quote != 0) {
                    cur += c;
                } else {
                    space = true;
                }
            } else if (c == u'"' || c == u'\'') {
                if (t[i - 1] == u'\\') {
                    if (quote == 0) {
                        return false;
                    }
                    cur += c;
                } else if (quote == 0) {
                    quote = c;
                    cur += c;
                } else if (c != quote) {
                    cur += c;
                } else {
                    space = false;
                    quote = 0;
                    cur += c;
                    if (valueMode) {
                        if (tagName.empty()) {
                            return false;
                        }
                        Store();
                        n.clear();
                        v.clear();
                        valueMode = false;
                    }
                }
            } else if (c == u'<' || c == u'>') {
                if (quote == 0) {
                    return false;
                }
                cur += c;
            } else if (c == u'=') {
                if (quote != 0) {
                    cur += c;
                } else {
                    space = false;
                    if (valueMode) {
                        v += c;
                    }
                    valueMode = true;
                }
            } else if (quote != 0) {
                cur += c;
            } else {
                if (space && (!n.empty() || !v.empty())) {
                    if (!EndWord()) {
                        return false;
                    }
                    n.clear();
                    v.clear();
                    valueMode = false;
                }
                space = false;
                (valueMode ? v : n) += c;
            }
        }
        if ((!n.empty() || !v.empty()) && !EndWord()) {
            return false;
        }
        return !tagName.empty();
    }
};

/// The tag finder's rules over a plain string.
bool ModelNextTag(const std::u16string& page, std::size_t& pos, std::u16string& tag) {
    tag.clear();
    if (pos >= page.size()) {
        return false;
    }
    const std::size_t open = page.find(u'<', pos);
    std::size_t close = open == std::u16string::npos ? open : page.find(u'>', open + 1);
    if (close != std::u16string::npos && page.compare(open, 4, u"<!--") == 0) {
        while (close != std::u16string::npos && page.compare(close - 2, 3, u"-->") != 0) {
            close = page.find(u'>', close + 1);
        }
    }
    if (close == std::u16string::npos) {
        pos = page.size();
        return false;
    }
    tag = page.substr(open, close - open + 1);
    pos = close + 1;
    return true;
}

void CheckParse(const CVELString& tag, CVELString& name, CVELStringPairList& attributes,
                CHtmlTagBuffers& buffers) {
    const BOOL ok = ParseHtmlTag(tag, name, attributes, buffers);
    CheckTerminated(name);
    Check(attributes.Names().GetCount() == attributes.Values().GetCount());
    Check(!ok || name.GetLength() > 0);
    Model model;
    Check((ok != FALSE) == model.Parse(Units(tag)));
    Check(Units(name) == model.tagName);
    Check(static_cast<std::size_t>(attributes.GetCount()) == model.pairs.size());
    for (std::int32_t i = 0; i < attributes.GetCount(); ++i) {
        CheckTerminated(*attributes.Names().GetAt(i));
        CheckTerminated(*attributes.Values().GetAt(i));
        Check(Units(*attributes.Names().GetAt(i)) == model.pairs[i].first);
        Check(Units(*attributes.Values().GetAt(i)) == model.pairs[i].second);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CVELString page = MakePage(data, size);
    const std::int32_t length = page.GetLength();
    const std::u16string units = Units(page);
    CVELString tag;
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    std::int32_t pos = 0;
    std::size_t modelPos = 0;
    std::u16string modelTag;
    for (;;) {
        const std::int32_t before = pos;
        const BOOL found = GetNextHtmlTag(page, pos, tag);
        CheckTerminated(tag);
        Check(pos >= before && pos <= length);
        Check((found != FALSE) == ModelNextTag(units, modelPos, modelTag));
        Check(static_cast<std::size_t>(pos) == modelPos && Units(tag) == modelTag);
        if (!found) {
            Check(pos == length && tag.GetLength() == 0);
            break;
        }
        const std::int32_t n = tag.GetLength();
        Check(pos > before && n >= 2);
        Check(tag.GetData()[0] == u'<' && tag.GetData()[n - 1] == u'>');
        CheckParse(tag, name, attributes, buffers);
    }
    return 0;
}
