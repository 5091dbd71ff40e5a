// SPDX-License-Identifier: Apache-2.0
// Wide text to and from the bytes that travel on the wire.
//
// Requests are built from UTF-16 texts (object names, header blocks) but HTTP
// carries bytes. A unit the ANSI code page knows becomes its one byte, so a
// text that came from bytes goes back to exactly those bytes; any other
// character becomes its UTF-8 bytes, the form servers expect for non-Latin
// text. Bytes coming back (headers, redirect targets) become units through
// the code page, one unit per byte, so nothing is lost.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inet {

/// The wire bytes of `text`, unit by unit as described above. A lone
/// surrogate becomes the UTF-8 bytes of U+FFFD.
std::string ToWireBytes(std::u16string_view text);

/// One unit per byte through the ANSI code page.
std::u16string FromWireBytes(std::string_view bytes);

/// `text` without the blanks (spaces and tabs) around it.
std::string_view TrimBlanks(std::string_view text);

/// The lines of a head or header block up to its empty line, without their
/// line ends (CR LF, or a bare LF).
std::vector<std::string_view> HeadLines(std::string_view head);

/// True when two header names are equal with only A to Z folded.
bool SameFieldName(std::string_view a, std::string_view b);

/// `text` up to its first "#": the fragment names a place inside a resource
/// and never reaches the server or the cache.
std::u16string_view WithoutFragment(std::u16string_view text);
std::string_view WithoutFragment(std::string_view text);

/// The object name as it goes on the wire: wire bytes with spaces, control
/// bytes and bytes above 0x7F percent-encoded (upper-case hex). Existing
/// escapes and all other printable characters stay as they are. The fragment
/// is dropped. An empty name becomes "/", and a name that does not start with
/// "/" gets one in front.
std::string EncodeObjectName(std::u16string_view objectName);

/// The URL a request is known by in the cache and in option 34: "http" or
/// "https", "://", the host, ":port" only when it is not the scheme's
/// default, then the object name as given, without its fragment.
std::u16string RequestUrlText(bool secure, std::u16string_view host, unsigned port,
                              std::u16string_view objectName);

/// The same URL for libcurl: wire-encoded object name, IPv6 hosts in
/// brackets, the port always present.
std::string RequestWireUrl(bool secure, std::u16string_view host, unsigned port,
                           std::u16string_view objectName);

} // namespace inet
