// SPDX-License-Identifier: Apache-2.0
#include "crawler/HtmlScanner.h"

#include "foundation/TextUnits.h"

#include <bit>
#include <cassert>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Pages are mostly text between tags, comments and quoted values, all of
// which the scanner only searches through; comparing sixteen units at a time
// keeps that search close to the speed of reading memory. Without SSE2 the
// plain loops below do the same work.

#if defined(__SSE2__)
/// The compare results of two blocks of eight units as one mask, two bits per
/// unit, the first block in the low half.
inline std::uint64_t MaskOf(__m128i first, __m128i second) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(first)) |
           static_cast<std::uint32_t>(_mm_movemask_epi8(second)) << 16;
}
#endif

/// First unit equal to `ch` in [p, end), or `end`. With kCopy, the units
/// before it are also copied to `out`, which moves past them. The copy goes in
/// blocks of sixteen and may write past the units copied, but never further
/// than `out` + (`end` - `p`): the destination must have that much room.
template <bool kCopy>
const char16_t* ScanTo(const char16_t* p, const char16_t* end, char16_t ch, char16_t*& out) {
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(ch));
    for (; end - p >= 16; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        if constexpr (kCopy) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), b);
        }
        const std::uint64_t mask = MaskOf(_mm_cmpeq_epi16(a, needle), _mm_cmpeq_epi16(b, needle));
        if (mask != 0) {
            const int skip = std::countr_zero(mask) / 2;
            if constexpr (kCopy) {
                out += skip;
            }
            return p + skip;
        }
        if constexpr (kCopy) {
            out += 16;
        }
    }
    // Quoted values often end within sixteen units of the tag's end.
    if (end - p >= 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if constexpr (kCopy) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
        }
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(a, needle)));
        const int skip = mask != 0 ? std::countr_zero(mask) / 2 : 8;
        if constexpr (kCopy) {
            out += skip;
        }
        p += skip;
        if (mask != 0) {
            return p;
        }
    }
#endif
    for (; p < end && *p != ch; ++p) {
        if constexpr (kCopy) {
            *out++ = *p;
        }
    }
    return p;
}

const char16_t* FindUnitIn(const char16_t* p, const char16_t* end, char16_t ch) {
    char16_t* unused = nullptr;
    return ScanTo<false>(p, end, ch, unused);
}

/// Copies `count` units between two separate ranges, touching nothing outside
/// them. The texts copied here (tags, tag names) are short, and for those a
/// call to memcpy with its size dispatch costs more than the copy: fixed-size
/// moves, overlapping at the end, do it inline.
void CopyUnits(char16_t* dst, const char16_t* src, std::int32_t count) {
    if (count >= 16) {
        for (std::int32_t i = 0; i < count - 16; i += 16) {
            std::memcpy(dst + i, src + i, 32);
        }
        std::memcpy(dst + count - 16, src + count - 16, 32);
    } else if (count >= 8) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + count - 8, src + count - 8, 16);
    } else if (count >= 4) {
        std::uint64_t head;
        std::uint64_t tail;
        std::memcpy(&head, src, 8);
        std::memcpy(&tail, src + count - 4, 8);
        std::memcpy(dst, &head, 8);
        std::memcpy(dst + count - 4, &tail, 8);
    } else if (count >= 2) {
        std::uint32_t head;
        std::uint32_t tail;
        std::memcpy(&head, src, 4);
        std::memcpy(&tail, src + count - 2, 4);
        std::memcpy(dst, &head, 4);
        std::memcpy(dst + count - 2, &tail, 4);
    } else if (count == 1) {
        dst[0] = src[0];
    }
}

void AssignUnits(CVELString& text, const char16_t* units, std::int32_t count) {
    text.Reserve(count);
    CopyUnits(text.GetData(), units, count);
    text.SetLength(count);
}

/// Finds the first "<" at or after `p` and the first ">" after it; either is
/// `end` when missing. Most tags are short, so the ">" is first looked for in
/// the block already loaded for the "<".
void FindTagEnds(const char16_t* p, const char16_t* end, const char16_t*& open,
                 const char16_t*& close) {
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi16(u'<');
    const __m128i gt = _mm_set1_epi16(u'>');
    for (; end - p >= 16; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        const std::uint64_t opens = MaskOf(_mm_cmpeq_epi16(a, lt), _mm_cmpeq_epi16(b, lt));
        if (opens != 0) {
            const int at = std::countr_zero(opens);
            open = p + at / 2;
            // Two mask bits per unit: drop those of the "<" and all before it.
            const std::uint64_t closes =
                MaskOf(_mm_cmpeq_epi16(a, gt), _mm_cmpeq_epi16(b, gt)) >> (at + 2);
            close = closes != 0 ? open + 1 + std::countr_zero(closes) / 2
                                : FindUnitIn(p + 16, end, u'>');
            return;
        }
    }
#endif
    open = FindUnitIn(p, end, u'<');
    close = open == end ? end : FindUnitIn(open + 1, end, u'>');
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

// How the tag parser treats a unit outside quotes. Every unit that is not
// ordinary lies below 64, so one bit mask per class decides it without a
// table in memory.
enum UnitClass : unsigned char { kOrdinary, kSpace, kQuote, kAngle, kEquals };

constexpr std::uint64_t Bits(std::initializer_list<char16_t> units) {
    std::uint64_t bits = 0;
    for (const char16_t c : units) {
        bits |= std::uint64_t{1} << c;
    }
    return bits;
}

constexpr std::uint64_t kSpaceBits = Bits({u'\t', u'\n', u'\f', u'\r', u' '});
constexpr std::uint64_t kQuoteBits = Bits({u'"', u'\''});
constexpr std::uint64_t kAngleBits = Bits({u'<', u'>'});
constexpr std::uint64_t kEqualsBits = Bits({u'='});
constexpr std::uint64_t kSpecialBits = kSpaceBits | kQuoteBits | kAngleBits | kEqualsBits;

inline bool IsOrdinary(char16_t c) {
    return c >= 64 || ((kSpecialBits >> c) & 1) == 0;
}

inline UnitClass ClassOf(char16_t c) {
    if (IsOrdinary(c)) {
        return kOrdinary;
    }
    const std::uint64_t bit = std::uint64_t{1} << c;
    return (bit & kSpaceBits) != 0   ? kSpace
           : (bit & kQuoteBits) != 0 ? kQuote
           : (bit & kAngleBits) != 0 ? kAngle
                                     : kEquals;
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
    /// Where the next unit goes, for writers that fill a run directly.
    char16_t* Tail() { return m_pData + m_nLength; }
    /// Takes in the units written at Tail() up to `newTail`.
    void CommitTo(const char16_t* newTail) {
        m_nLength = static_cast<std::int32_t>(newTail - m_pData);
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
/// Quotes are handled where they open, so the main loop only ever stands
/// outside quotes.
class CTagParser {
  public:
    CTagParser(const char16_t* text, std::int32_t length, CVELString& tagName,
               CVELStringPairList& attributes, CHtmlTagBuffers& buffers)
        : m_pText(text), m_pEnd(text + (length > 0 ? length - 1 : 0)), m_tagName(tagName),
          m_attributes(attributes), m_name(buffers.m_strName, length),
          m_value(buffers.m_strValue, length) {
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
    // Each Take step consumes units from `p` on and returns where it stopped,
    // or null when the tag text is malformed.
    const char16_t* TakeUnquoted(const char16_t* p);
    const char16_t* TakeQuoted(const char16_t* p);
    const char16_t* TakeWord(const char16_t* p);
    CGatherBuffer& Current() { return m_bValueMode ? m_value : m_name; }
    void AssignName() {
        const CVELString& name = m_name.Settle();
        AssignUnits(m_tagName, name.GetData(), name.GetLength());
    }
    bool CloseQuote(char16_t quote);
    bool EndWord();
    void StorePair();

    const char16_t* m_pText;
    const char16_t* m_pEnd; // the closing ">": the units taken end before it
    CVELString& m_tagName;
    CVELStringPairList& m_attributes;
    CGatherBuffer m_name;
    CGatherBuffer m_value;
    bool m_bValueMode = false;
    bool m_bSpaceSeen = false;
    bool m_bListFull = false;
    std::int32_t m_nIndex = 0;
};

BOOL CTagParser::Run() {
    // Units are taken from the second on; for a text of one unit or none the
    // start stays at the end rather than pointing past the text.
    const char16_t* p = m_pEnd > m_pText ? m_pText + 1 : m_pEnd;
    while (p < m_pEnd) {
        p = TakeUnquoted(p);
        if (p == nullptr) {
            return FALSE;
        }
    }
    if (!m_name.IsEmpty() || !m_value.IsEmpty()) {
        if (m_tagName.GetLength() == 0) {
            if (!m_value.IsEmpty()) {
                return FALSE;
            }
            AssignName();
        } else {
            StorePair();
        }
    }
    return m_tagName.GetLength() != 0 ? TRUE : FALSE;
}

const char16_t* CTagParser::TakeUnquoted(const char16_t* p) {
    const char16_t c = *p;
    switch (ClassOf(c)) {
    case kOrdinary:
        return TakeWord(p);
    case kSpace:
        m_bSpaceSeen = true;
        do {
            ++p;
        } while (p < m_pEnd && ClassOf(*p) == kSpace);
        // Blanks mostly separate words: take the next one straight away.
        return p < m_pEnd && IsOrdinary(*p) ? TakeWord(p) : p;
    case kQuote:
        if (p[-1] == u'\\') {
            return nullptr;
        }
        Current().Add(c);
        return TakeQuoted(p + 1);
    case kAngle:
        return nullptr;
    case kEquals:
        m_bSpaceSeen = false;
        if (m_bValueMode) {
            m_value.Add(c);
            return p + 1;
        }
        m_bValueMode = true;
        // A value right after the "=" is the common case: take it here rather
        // than going round the loop once more.
        ++p;
        if (p < m_pEnd && IsOrdinary(*p)) {
            return TakeWord(p);
        }
        if (p < m_pEnd && ClassOf(*p) == kQuote) {
            m_value.Add(*p);
            return TakeQuoted(p + 1);
        }
        return p;
    }
    return nullptr;
}

// Inside quotes every unit is kept; only the open quote (p[-1]), when no
// backslash stands before it, closes. So the whole run up to that quote is
// copied at once.
const char16_t* CTagParser::TakeQuoted(const char16_t* p) {
    const char16_t quote = p[-1];
    CGatherBuffer& buffer = Current();
    // A buffer holds only units already passed, so it has room for all the
    // units still ahead: the block copy of ScanTo stays inside it.
    char16_t* out = buffer.Tail();
    const char16_t* close = ScanTo<true>(p, m_pEnd, quote, out);
    while (close != m_pEnd && close[-1] == u'\\') {
        *out++ = *close;
        close = ScanTo<true>(close + 1, m_pEnd, quote, out);
    }
    buffer.CommitTo(out);
    if (close == m_pEnd) {
        return close;
    }
    return CloseQuote(quote) ? close + 1 : nullptr;
}

bool CTagParser::CloseQuote(char16_t quote) {
    m_bSpaceSeen = false;
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

// A word of ordinary units: the first may end the word before a blank; the
// rest only append.
const char16_t* CTagParser::TakeWord(const char16_t* p) {
    if (m_bSpaceSeen && (!m_name.IsEmpty() || !m_value.IsEmpty()) && !EndWord()) {
        return nullptr;
    }
    m_bSpaceSeen = false;
    CGatherBuffer& buffer = Current();
    char16_t* out = buffer.Tail();
    // Words are a few units long: copying while classifying is cheaper than
    // a search followed by a copy.
    while (p < m_pEnd && IsOrdinary(*p)) {
        *out++ = *p++;
    }
    buffer.CommitTo(out);
    return p;
}

bool CTagParser::EndWord() {
    if (m_tagName.GetLength() == 0) {
        if (!m_value.IsEmpty()) {
            return false;
        }
        AssignName();
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
    const char16_t* open;
    const char16_t* close;
    FindTagEnds(data + pos, end, open, close);
    if (close != end && IsCommentStart(open, end)) {
        close = FindCommentEnd(close, end);
    }
    if (close == end) {
        pos = length;
        return FALSE;
    }
    AssignUnits(tag, open, static_cast<std::int32_t>(close - open + 1));
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
