// SPDX-License-Identifier: Apache-2.0
// Reading a host page: the web page that embeds the control with an <object>
// element and hands it its whole configuration as <param name=… value=…>
// children. `dravik sync PAGE` turns such a page into the named texts that
// the control's property exchange loads, as a browser would.
//
// The page is parsed with libxml2's HTML parser, which recovers from broken
// markup the way browsers do, so a careless page still yields its
// parameters. The control's <object> is the first one whose "classid" is
// ControlClassId(), letters compared without regard to case; a page without
// one gives the first <object> that has a "classid", so that the host can
// say which class the page asks for instead of ours (an object that names
// the control by its ProgID is such a one: a browser creates controls by
// class id only and would not load it either).
//
// Parameters are the <param> elements that are direct children of that
// object, as in a browser: a <param> inside other markup or inside a nested
// fallback <object> is not the control's. Each gives its "name" and "value"
// attributes with entities decoded (so a value can hold CR LF written as
// "&#13;&#10;"), converted to UTF-16 exactly, without trimming. A <param>
// without a name, or with an empty one, is skipped; one without a value
// gives the empty text; when a name repeats, the first value wins, as in a
// browser's property bag. Names are kept as written: the bag's keys are
// compared exactly, case included.
#pragma once

#include "framework/com/PropExchange.h"

#include <string>
#include <string_view>

/// Either the page's object (`ok`: its class id as written and its
/// parameters) or why there is none: a message that names the page and the
/// reason, ready to show the user.
struct HostPageResult {
    bool ok = false;
    PropertyBag params;
    std::string error;
    std::string classId; ///< the object's "classid" attribute as written
};

/// "clsid:" and the control's class id without braces, hex in upper case:
/// the "classid" attribute a host page gives the control's <object>.
std::string ControlClassId();

/// Reads the host page named by `pageArgument`: an http:// or https:// URL,
/// or else a file path.
///
/// A URL is fetched once through the internet library, bypassing and not
/// written to the URL cache (the page is not part of what a synchronization
/// keeps). Precondition: the caller has opened the module's internet
/// session (OpenInternetSession) before passing a URL; without it the read
/// fails with an error saying so. A status other than 200 is an error
/// naming the status; a transport failure is one naming the last-error
/// number. A file that is missing, unreadable or a directory is an error
/// naming the path and the reason. Pages above 16 MiB are refused.
HostPageResult ReadHostPage(const std::string& pageArgument);

/// Parses the bytes of a host page already in memory; `pageName` only
/// labels the error messages. The bytes are decoded as a browser decodes
/// them (PageEncoding.h); `httpCharset` is the charset the server sent
/// with them, "" for none.
HostPageResult ParseHostPage(std::string_view bytes, const std::string& pageName,
                             std::string_view httpCharset = {});
