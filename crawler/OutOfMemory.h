// SPDX-License-Identifier: Apache-2.0
// Running out of memory on a worker thread of the crawl: the foundation
// types throw their own pointer when they cannot grow, the standard library
// throws std::bad_alloc. A worker catches either and hands the reason to
// the walk's thread, which fails the crawl with it.
#pragma once

#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "platform/kernel/LastError.h"

#include <new>

/// Runs `step`; the error of running out of memory in it, or 0.
template <class Step> DWORD OutOfMemoryIn(Step step) {
    try {
        step();
    } catch (CVELString*) {
        return GetLastError();
    } catch (CVELMemBuf*) {
        return GetLastError();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return 0;
}
