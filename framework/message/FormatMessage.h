// SPDX-License-Identifier: Apache-2.0
// Message formatting by the platform formatter's rules, for a format text
// with an array of inserts.
//
// The messages a host page configures ("Synchronizing %1...") are format
// texts: "%1" to "%99" take the inserts, and the formatter's other escapes
// keep their meaning:
//
//   %1 .. %99   insert 1 to 99; at most two digits are read, so "%100" is
//               insert 10 followed by "0"
//   %1!fmt!     insert with a printf-style format (see below)
//   %0          ends the output here, without a line break
//   %n          CR LF          %r   CR          %t   tab
//   %%  %.  %!  "%", ".", "!"; "%" and a space give a space
//   %x          any other character x stands for itself; a lone "%" at the
//               very end gives nothing
//
// A line break written in the format stays as it is. Inserted text is never
// scanned for escapes again.
//
// Insert formats: [flags -+ #0][width][.precision][size h l ll I32 I64 w]
// followed by d i u x X o (numbers), c C (one unit of a number) or s S
// (text). Numbers are formatted at 32 bits, or 64 with ll or I64, and h at
// 16. A format outside this grammar (e.g. "!e!", or "*" widths) inserts the
// argument plainly: text as it is, a number in decimal. Widths and
// precisions above kMaxInsertWidth are refused, so that a configured text
// cannot make an output of any size.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <type_traits>

/// One insert: a text or a number. A text insert refers to its text, which
/// must outlive the formatting call.
class FormatArg {
  public:
    /// A null text inserts as empty.
    FormatArg(const char16_t* text) : m_text(text != nullptr ? text : u"") {}
    FormatArg(const CVELString& text)
        : m_text(text.GetData(), static_cast<std::size_t>(text.GetLength())) {}
    FormatArg(std::u16string_view text) : m_text(text) {}
    template <std::integral T>
    requires(!std::is_same_v<T, bool> && !std::is_same_v<T, char16_t>) FormatArg(T number)
        : m_bText(false), m_nNumber(static_cast<std::int64_t>(number)) {}

    bool IsText() const { return m_bText; }
    std::u16string_view Text() const { return m_text; }
    std::int64_t Number() const { return m_nNumber; }

  private:
    bool m_bText = true;
    std::u16string_view m_text;
    std::int64_t m_nNumber = 0;
};

/// How a formatting call ended.
enum class FormatStatus {
    Ok,              ///< the output is in `out`
    Empty,           ///< the output is empty, which the platform reports as a failure
    InvalidParameter ///< no format, an insert without argument, a text/number mismatch,
                     ///< an unclosed "!fmt" or an oversized width; last error
                     ///< ERROR_INVALID_PARAMETER
};

/// Largest width or precision an insert format may ask for.
constexpr int kMaxInsertWidth = 4096;

/// Formats `format` with `args` ("%1" is args[0]). `out` holds the output
/// on Ok and is empty otherwise. The caller chooses what an Empty result
/// means for it.
FormatStatus FormatMessageString(const char16_t* format, std::span<const FormatArg> args,
                                 CVELString& out);

inline FormatStatus FormatMessageString(const char16_t* format,
                                        std::initializer_list<FormatArg> args, CVELString& out) {
    return FormatMessageString(format, std::span<const FormatArg>(args.begin(), args.size()), out);
}
