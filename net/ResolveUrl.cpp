// SPDX-License-Identifier: Apache-2.0
#include "net/ResolveUrl.h"

#include "net/Url.h"

#include <cstdint>

namespace {

struct UrlParts {
    CVELString host;
    CVELString path;
    INTERNET_PORT port = url::kDefaultHttpPort;
    BOOL secure = FALSE;

    bool Parse(const char16_t* text) { return ParseURL(text, host, path, &port, &secure) != 0; }
};

/// Index of the last `ch` in `text`, or -1. Scans backwards so that the
/// repeated cuts of a directory walk stay linear in the path length.
std::int32_t LastIndexOf(const CVELString& text, char16_t ch) {
    for (std::int32_t i = text.GetLength() - 1; i >= 0; --i) {
        if (text.GetData()[i] == ch) {
            return i;
        }
    }
    return -1;
}

/// Shortens `text` to `pos` units; a `pos` of -1 (nothing found) keeps it.
void CutAt(CVELString& text, std::int32_t pos) {
    if (pos >= 0) {
        text.Truncate(pos);
    }
}

/// Moves the units of `text` from `pos` on into `tail`; with `pos` -1,
/// `text` stays whole and `tail` is empty.
void SplitOff(CVELString& text, std::int32_t pos, CVELString& tail) {
    tail.Empty();
    if (pos >= 0) {
        tail.Assign(text.GetData() + pos, text.GetLength() - pos);
        text.Truncate(pos);
    }
}

bool StartsWithTwoSlashes(const CVELString& text) {
    return text.GetLength() >= 2 && text.GetData()[0] == u'/' && text.GetData()[1] == u'/';
}

/// Takes the host out of a network-path reference "//host/rest" that did not
/// parse as a URL. `rel` keeps the path from the slash after the host, or "/".
void TakeNetworkHost(CVELString& rel, CVELString& host) {
    rel.Delete(0, 2);
    const std::int32_t slash = rel.Find(u'/');
    if (slash < 0) {
        host.Assign(rel);
        rel.Assign(u"/");
    } else {
        host.Assign(rel.GetData(), slash);
        rel.Delete(0, slash);
    }
}

/// Appends `rel`, a relative path, to the directory of `basePath`. Leading
/// "./" and "../" are consumed; a "../" at the root has nothing left to
/// remove and is dropped. Requires `basePath` to begin with "/".
void AppendRelativePath(CVELString& result, CVELString& basePath, const CVELString& rel) {
    CutAt(basePath, basePath.Find(u'?'));
    CutAt(basePath, LastIndexOf(basePath, u'/'));
    const char16_t* p = rel.GetData();
    while (p[0] == u'.') {
        if (p[1] == u'/') {
            p += 2;
        } else if (p[1] == u'.' && p[2] == u'/') {
            p += 3;
            CutAt(basePath, LastIndexOf(basePath, u'/'));
        } else {
            break;
        }
    }
    result.Append(basePath);
    result.AppendChar(u'/');
    result.Append(p, rel.GetLength() - static_cast<std::int32_t>(p - rel.GetData()));
}

/// Appends the path of a reference that is not absolute: `rel` is what is
/// left of it once its query and fragment have been split off.
void AppendPath(CVELString& result, CVELString& basePath, const CVELString& rel,
                const CVELString& query) {
    if (rel.GetLength() == 0) {
        // A query-only reference replaces the base's query.
        if (query.GetLength() != 0) {
            CutAt(basePath, basePath.Find(u'?'));
        }
        result.Append(basePath);
    } else if (rel.GetData()[0] == u'/') {
        result.Append(rel);
    } else {
        AppendRelativePath(result, basePath, rel);
    }
}

/// Builds the resolved text into the empty `result`; false when `ref` cannot
/// be resolved against `base`.
bool Resolve(const char16_t* base, const char16_t* ref, CVELString& result) {
    std::int32_t prefix = 0;
    if (url::ReadScheme(ref, &prefix) == url::Scheme::kOther) {
        return false;
    }
    UrlParts parts;
    if (parts.Parse(ref)) {
        url::AppendOrigin(result, parts.host, parts.port, parts.secure);
        result.Append(parts.path);
        return true;
    }
    if (!parts.Parse(base)) {
        return false;
    }
    CutAt(parts.path, parts.path.Find(u'#'));

    CVELString rel(ref);
    CVELString fragment;
    CVELString query;
    SplitOff(rel, LastIndexOf(rel, u'#'), fragment);
    SplitOff(rel, rel.Find(u'?'), query);
    if (StartsWithTwoSlashes(rel)) {
        TakeNetworkHost(rel, parts.host);
    }
    if (parts.host.GetLength() == 0) {
        return false;
    }
    url::AppendOrigin(result, parts.host, parts.port, parts.secure);
    AppendPath(result, parts.path, rel, query);
    result.Append(query);
    result.Append(fragment);
    return true;
}

} // namespace

BOOL ResolveURL(const char16_t* base, const char16_t* ref, CVELString& out) {
    CVELString result;
    if (!Resolve(base, ref, result)) {
        return FALSE;
    }
    // A network-path reference that failed to parse can still leave a host
    // holding ":" with an empty, non-numeric or too large port ("//k:8x/z"),
    // and writing the base's port after it adds a second ":". A success must
    // always give a URL the caller can split into its parts, so such a result
    // is refused here instead of failing later in the request.
    UrlParts check;
    if (!check.Parse(result.GetData())) {
        return FALSE;
    }
    out.Assign(result);
    return TRUE;
}
