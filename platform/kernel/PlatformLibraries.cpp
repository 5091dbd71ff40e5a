// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/PlatformLibraries.h"

#include "platform/kernel/LazyLibrary.h"

#include <vector>

#ifdef DRAVIK_LAZY_CURL
extern "C" const DravikLazyGroup dravik_lazy_curl_library;
#endif
#ifdef DRAVIK_LAZY_SSL
extern "C" const DravikLazyGroup dravik_lazy_ssl_library;
#endif
#ifdef DRAVIK_LAZY_CRYPTO
extern "C" const DravikLazyGroup dravik_lazy_crypto_library;
#endif
#ifdef DRAVIK_LAZY_SQLITE3
extern "C" const DravikLazyGroup dravik_lazy_sqlite3_library;
#endif

namespace kernel {

bool LoadPlatformLibraries(std::string& error) {
    // Linked as usual (no stubs on this machine), they are loaded already.
    const std::vector<const DravikLazyGroup*> groups = {
#ifdef DRAVIK_LAZY_CRYPTO
        &dravik_lazy_crypto_library,
#endif
#ifdef DRAVIK_LAZY_SSL
        &dravik_lazy_ssl_library,
#endif
#ifdef DRAVIK_LAZY_CURL
        &dravik_lazy_curl_library,
#endif
#ifdef DRAVIK_LAZY_SQLITE3
        &dravik_lazy_sqlite3_library,
#endif
    };
    return LoadLazyGroups(groups, error);
}

bool LoadLazyGroups(const std::vector<const DravikLazyGroup*>& groups, std::string& error) {
    for (const DravikLazyGroup* group : groups) {
        char message[600];
        if (DravikLazyLoad(group, message, sizeof message) == 0) {
            error = message;
            return false;
        }
    }
    return true;
}

} // namespace kernel
