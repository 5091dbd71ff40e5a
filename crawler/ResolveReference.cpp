// SPDX-License-Identifier: Apache-2.0
#include "crawler/ResolveReference.h"

#include "net/Encoding.h"
#include "net/HttpRequest.h"
#include "net/ResolveUrl.h"
#include "net/Url.h"

BOOL ResolveReference(const char16_t* base, CHttpRequest& request, CVELString& reference,
                      CVELString& resolved) {
    UnquoteString(reference);
    CollapseAmpEntities(reference);
    // A place in the same page is never fetched.
    if (reference.GetLength() == 0 || reference.GetData()[0] == u'#') {
        return FALSE;
    }
    if (!ResolveURL(base, reference.GetData(), resolved)) {
        return FALSE;
    }
    if (!ParseURL(resolved.GetData(), request.m_host, request.m_path, &request.m_nPort,
                  &request.m_bSecure)) {
        return FALSE;
    }
    const std::int32_t fragment = request.m_path.ReverseFind(u'#');
    if (fragment >= 0) {
        request.m_path.Truncate(fragment);
    }
    return TRUE;
}
