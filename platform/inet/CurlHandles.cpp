#include "platform/inet/CurlHandles.h"

namespace inet {

bool EnsureCurlReady() {
    // A function-local static runs its initializer once, even with threads.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

} // namespace inet
