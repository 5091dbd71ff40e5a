#include "crawler/HtmlScanner.h"

#include "foundation/TextUnits.h"

#include <array>
#include <bit>
#include <cassert>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Pages are mostly text between tags, comments and quoted values, all of
// which the scanner only searches through; a vector compare of eight units at
// a time keeps that search close to the speed of reading memory.
const char16_t* FindUnitIn(const char16_t* p, const char16_t* end, char16_t ch) {
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(ch));
    for (; end - p >= 16; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        const unsigned maskA = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(a, needle)));
        const unsigned maskB = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(b, needle)));
        if ((maskA | maskB) != 0) {
            // Two mask bits per unit.
            return maskA != 0 ? p + std::countr_zero(maskA) / 2
                              : p + 8 + std::countr_zero(maskB) / 2;
        }
    }
#endif
    for (; p < end; ++p) {
        if (*p == ch) {
            return p;
        }
    }
    return end;
}

bool IsCommentStart(const char16_t* open, const char16_t* end) {
    return end - open >= 4 && open[1] == u'!' && open[2] == u'-' && open[3] == u'-';
}

/// From the first ">" after a comment opening, the first ">" that follows two
/// hyphens, or `end`. The hyphens may be the opening's own, so "<!-->" ends at
/// its first ">". Requires `close` to be at least four units past the "<".
const char16_t* FindCommentEnd(const char16_t* close, const char16_t* end) {
    while (close != end && !(close[-1] == u'-' && close[-2] == u'-')) {
        close = FindUnitIn(close + 1, end, u'>');
    }
    return close;
}

// How the tag parser treats a unit outside quotes. Units past ASCII are all
// ordinary, so the table covers only the first 128.
enum UnitClass : unsigned char { kOrdinary, kSpace, kQuote, kAngle, kEquals };

constexpr auto kUnitClasses = [] {
    std::array<unsigned char, 128> table{};
    for (const char16_t c : {u'\t', u'\n', u'\f', u'\r', u' '}) {
        table[c] = kSpace;
    }
    table[u'"'] = kQuote;
    table[u'\''] = kQuote;
    table[u'<'] = kAngle;
    table[u'>'] = kAngle;
    table[u'='] = kEquals;
    return table;
}();

inline UnitClass ClassOf(char16_t c) {
    return c < kUnitClasses.size() ? static_cast<UnitClass>(kUnitClasses[c]) : kOrdinary;
}

/// A CVELString filled through a raw cursor. Its capacity is reserved for a
/// whole tag up front, so an append is a plain store; the string's own length
/// is settled only when its text is read.
class CGatherBuffer {
  public:
    CGatherBuffer(CVELString& str, std::int32_t room) : m_str(str) {
        m_str.Reserve(room);
        m_pData = m_str.GetData();
    }
    bool IsEmpty() const { return m_nLength == 0; }
    void Add(char16_t c) { m_pData[m_nLength++] = c; }
    void AddRun(const char16_t* units, std::int32_t count) {
        std::memcpy(m_pData + m_nLength, units, static_cast<std::size_t>(count) * sizeof(char16_t));
        m_nLength += count;
    }
    void Clear() { m_nLength = 0; }
    const CVELString& Settle() {
        m_str.SetLength(m_nLength);
        return m_str;
    }

  private:
    CVELString& m_str;
    char16_t* m_pData;
    std::int32_t m_nLength = 0;
};

/// One run of the tag parser over the units between the "<" and the ">".
class CTagParser {
  public:
    CTagParser(const char16_t* text, std::int32_t length, CVELString& tagName,
               CVELStringPairList& attributes, CHtmlTagBuffers& buffers)
        : m_pText(text), m_nLast(length - 1), m_tagName(tagName), m_attributes(attributes),
          m_name(buffers.m_strName, length), m_value(buffers.m_strValue, length) {
        m_tagName.Empty();
        m_attributes.RemoveAll();
    }
    ~CTagParser() {
        m_name.Settle();
        m_value.Settle();
    }
    CTagParser(const CTagParser&) = delete;
    CTagParser& operator=(const CTagParser&) = delete;

    BOOL Run();

  private:
    CGatherBuffer& Current() { return m_bValueMode ? m_value : m_name; }
    bool TakeQuoted(std::int32_t& i);
    bool TakeUnquoted(std::int32_t& i);
    bool TakeOrdinaryRun(std::int32_t& i);
    bool CloseQuote();
    bool EndWord();
    void StorePair();

    const char16_t* m_pText;
    std::int32_t m_nLast; // index of the closing ">": the end of the units taken
    CVELString& m_tagName;
    CVELStringPairList& m_attributes;
    CGatherBuffer m_name;
    CGatherBuffer m_value;
    bool m_bValueMode = false;
    char16_t m_chQuote = 0; // the open quote, 0 outside quotes
    bool m_bSpaceSeen = false;
    bool m_bListFull = false;
    std::int32_t m_nIndex = 0;
};

BOOL CTagParser::Run() {
    std::int32_t i = 1;
    while (i < m_nLast) {
        const bool ok = m_chQuote != 0 ? TakeQuoted(i) : TakeUnquoted(i);
        if (!ok) {
            return FALSE;
        }
    }
    if (!m_name.IsEmpty() || !m_value.IsEmpty()) {
        if (m_tagName.GetLength() == 0) {
            if (!m_value.IsEmpty()) {
                return FALSE;
            }
            m_tagName.Assign(m_name.Settle());
        } else {
            StorePair();
        }
    }
    return m_tagName.GetLength() != 0 ? TRUE : FALSE;
}

// Inside quotes every unit is kept; only the open quote, when no backslash
// stands before it, closes. So the whole run up to that quote is copied at
// once.
bool CTagParser::TakeQuoted(std::int32_t& i) {
    const char16_t* const end = m_pText + m_nLast;
    const char16_t* from = m_pText + i;
    const char16_t* close = FindUnitIn(from, end, m_chQuote);
    while (close != end && close[-1] == u'\\') {
        close = FindUnitIn(close + 1, end, m_chQuote);
    }
    Current().AddRun(from, static_cast<std::int32_t>(close - from));
    i = static_cast<std::int32_t>(close - m_pText);
    if (close == end) {
        return true;
    }
    ++i;
    return CloseQuote();
}

bool CTagParser::CloseQuote() {
    const char16_t quote = m_chQuote;
    m_bSpaceSeen = false;
    m_chQuote = 0;
    if (!m_bValueMode) {
        m_name.Add(quote);
        return true;
    }
    if (m_tagName.GetLength() == 0) {
        return false;
    }
    m_value.Add(quote);
    StorePair();
    m_name.Clear();
    m_value.Clear();
    m_bValueMode = false;
    return true;
}

bool CTagParser::TakeUnquoted(std::int32_t& i) {
    const char16_t c = m_pText[i];
    switch (ClassOf(c)) {
    case kSpace:
        m_bSpaceSeen = true;
        break;
    case kQuote:
        if (m_pText[i - 1] == u'\\') {
            return false;
        }
        m_chQuote = c;
        Current().Add(c);
        break;
    case kAngle:
        return false;
    case kEquals:
        m_bSpaceSeen = false;
        if (m_bValueMode) {
            m_value.Add(c);
        } else {
            m_bValueMode = true;
        }
        break;
    case kOrdinary:
        return TakeOrdinaryRun(i);
    }
    ++i;
    return true;
}

// A word of ordinary units: the first may end the word before a blank; the
// rest only append.
bool CTagParser::TakeOrdinaryRun(std::int32_t& i) {
    if (m_bSpaceSeen && (!m_name.IsEmpty() || !m_value.IsEmpty()) && !EndWord()) {
        return false;
    }
    m_bSpaceSeen = false;
    CGatherBuffer& buffer = Current();
    std::int32_t j = i + 1;
    while (j < m_nLast && ClassOf(m_pText[j]) == kOrdinary) {
        ++j;
    }
    buffer.AddRun(m_pText + i, j - i);
    i = j;
    return true;
}

bool CTagParser::EndWord() {
    if (m_tagName.GetLength() == 0) {
        if (!m_value.IsEmpty()) {
            return false;
        }
        m_tagName.Assign(m_name.Settle());
    } else {
        StorePair();
    }
    m_name.Clear();
    m_value.Clear();
    m_bValueMode = false;
    return true;
}

void CTagParser::StorePair() {
    // A full list refuses every later pair too; dropping them keeps the index
    // within the list and the rest of the tag still parses.
    if (m_bListFull) {
        return;
    }
    const CVELString& name = m_name.Settle();
    if (m_attributes.InsertPair(name.GetData(), m_value.Settle(), m_nIndex)) {
        ++m_nIndex;
    } else {
        m_bListFull = true;
    }
}

} // namespace

BOOL GetNextHtmlTag(const CVELString& page, std::int32_t& pos, CVELString& tag) {
    assert(pos >= 0);
    tag.Empty();
    const std::int32_t length = page.GetLength();
    if (pos >= length) {
        return FALSE;
    }
    const char16_t* const data = page.GetData();
    const char16_t* const end = data + length;
    const char16_t* const open = FindUnitIn(data + pos, end, u'<');
    const char16_t* close = open == end ? end : FindUnitIn(open + 1, end, u'>');
    if (close != end && IsCommentStart(open, end)) {
        close = FindCommentEnd(close, end);
    }
    if (close == end) {
        pos = length;
        return FALSE;
    }
    tag.Assign(open, static_cast<std::int32_t>(close - open + 1));
    pos = static_cast<std::int32_t>(close - data + 1);
    return TRUE;
}

BOOL ParseHtmlTag(const char16_t* tagText, std::int32_t length, CVELString& tagName,
                  CVELStringPairList& attributes, CHtmlTagBuffers& buffers) {
    assert(length >= 0);
    CTagParser parser(tagText, length, tagName, attributes, buffers);
    return parser.Run();
}

BOOL ParseHtmlTag(const CVELString& tag, CVELString& tagName, CVELStringPairList& attributes,
                  CHtmlTagBuffers& buffers) {
    return ParseHtmlTag(tag.GetData(), tag.GetLength(), tagName, attributes, buffers);
}

BOOL ParseHtmlTag(const char16_t* tagText, CVELString& tagName, CVELStringPairList& attributes) {
    thread_local CHtmlTagBuffers buffers;
    return ParseHtmlTag(tagText, vel::TextLength(tagText), tagName, attributes, buffers);
}
