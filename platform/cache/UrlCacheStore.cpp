#include "platform/cache/UrlCacheStore.h"

#include "platform/cache/ContentFiles.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace urlcache {

namespace {

struct OpenCache {
    std::mutex mutex;
    std::string root;
    pid_t owner = 0;
    std::unique_ptr<CacheIndex> index;
};

OpenCache& TheCache() {
    static OpenCache cache;
    return cache;
}

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

bool EnsureOpen(OpenCache& cache, const std::string& root) {
    if (cache.owner != ::getpid()) {
        // The parent's connection belongs to the parent: closing it here
        // could disturb the parent's locks, so the child lets it go unused.
        static_cast<void>(cache.index.release());
        cache.root.clear();
    }
    if (cache.index && cache.root == root) {
        return true;
    }
    cache.index.reset();
    if (!MakeDirectories(root)) {
        return false;
    }
    SweepStaleTemporaries(root);
    cache.index = CacheIndex::Open(root + "/index.sqlite");
    cache.root = root;
    cache.owner = ::getpid();
    return cache.index != nullptr;
}

} // namespace

std::string CacheRoot() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (IsAbsolute(xdg)) {
        return std::string(xdg) + "/dravik";
    }
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home)) {
        return std::string(home) + "/.cache/dravik";
    }
    return {};
}

bool WithUrlCache(const std::function<void(CacheIndex& index, const std::string& root)>& work) {
    const std::string root = CacheRoot();
    if (root.empty()) {
        return false;
    }
    OpenCache& cache = TheCache();
    const std::lock_guard lock(cache.mutex);
    if (!EnsureOpen(cache, root)) {
        return false;
    }
    work(*cache.index, cache.root);
    return true;
}

} // namespace urlcache
