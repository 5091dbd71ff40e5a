// SPDX-License-Identifier: Apache-2.0
// Finding the control's <object> element in the bytes of an HTML page, so
// that the proxy can put the panel in its place and leave every other byte
// of the page as it came, and every command reads the parameters of the
// element the browser would make the control of.
//
// The element is the first <object> start tag whose "classid" is the
// control's (ControlClassId(), letters compared without regard to case),
// outside comments and the elements whose content the browser takes as
// text (script, style, textarea, title, xmp, iframe, noembed, noframes,
// noscript, template), through its matching </object> (nested objects
// counted). A start tag without an end tag is
// taken alone. Pages in encodings that are not ASCII-compatible are not
// searched.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct ControlObjectSpan {
    std::size_t begin = 0; ///< offset of "<object"
    std::size_t end = 0;   ///< offset just after the element
    std::string width;     ///< the width attribute, when it is a length
    std::string height;    ///< the height attribute, when it is a length
};

std::optional<ControlObjectSpan> FindControlObject(std::string_view html);

/// `html` with the span replaced by `replacement`.
std::string ReplaceSpan(std::string_view html, const ControlObjectSpan& span,
                        std::string_view replacement);
