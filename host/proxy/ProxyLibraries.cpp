// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/ProxyLibraries.h"

#include "host/common/LoadFailure.h"
#include "platform/kernel/LazyLibrary.h"
#include "platform/kernel/PlatformLibraries.h"

#include <vector>

#ifdef DRAVIK_LAZY_HOST_SSL
extern "C" const DravikLazyGroup dravik_lazy_host_ssl_library;
#endif
#ifdef DRAVIK_LAZY_HOST_CRYPTO
extern "C" const DravikLazyGroup dravik_lazy_host_crypto_library;
#endif

namespace proxy {

bool LoadProxyLibraries(std::string& error, int& status) {
    if (!kernel::LoadPlatformLibraries(error)) {
        status = ExitStatusForLibrary(error);
        return false;
    }
    // The proxy's own TLS (--intercept, its local authority) calls OpenSSL
    // through stubs of its own.
    const std::vector<const DravikLazyGroup*> groups = {
#ifdef DRAVIK_LAZY_HOST_CRYPTO
        &dravik_lazy_host_crypto_library,
#endif
#ifdef DRAVIK_LAZY_HOST_SSL
        &dravik_lazy_host_ssl_library,
#endif
    };
    if (!kernel::LoadLazyGroups(groups, error)) {
        status = ExitStatusForLibrary(error);
        return false;
    }
    return true;
}

} // namespace proxy
