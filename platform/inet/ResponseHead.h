// SPDX-License-Identifier: Apache-2.0
// The head of one HTTP response as it arrives: status line and header
// lines, kept as text with line ends made CR LF and every header line in
// the form "Name: value": blanks around the value are dropped and a line
// folded over several lines is joined with single spaces.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace inet {

class ResponseHead {
  public:
    /// Takes one line as libcurl hands it, line end included. A status line
    /// starts a new head (interim 1xx responses and proxy replies are
    /// replaced by what follows); lines after a complete head (trailers) are
    /// ignored. Returns true when `line` was the empty line that ends a head.
    bool AddLine(std::string_view line);

    void Reset();

    bool Complete() const { return m_complete; }
    DWORD Status() const { return m_status; }
    bool IsInterim() const { return m_status >= 100 && m_status < 200; }

    /// Status line, header lines and the empty line, each ending in CR LF.
    const std::string& Raw() const { return m_raw; }

    std::string_view Version() const;
    std::string_view Reason() const;

    /// The value of the `index`-th header called `name` (case ignored),
    /// without surrounding blanks.
    std::optional<std::string_view> Header(std::string_view name, DWORD index = 0) const;

  private:
    std::string_view StatusLine() const;

    std::string m_raw;
    int m_headerLines = 0;
    DWORD m_status = 0;
    bool m_complete = false;
};

} // namespace inet
