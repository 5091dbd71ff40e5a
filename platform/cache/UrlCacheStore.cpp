#include "platform/cache/UrlCacheStore.h"

#include "platform/cache/ContentFiles.h"
#include "platform/kernel/LastError.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace urlcache {

namespace {

struct OpenCache {
    std::mutex mutex;
    std::string root;
    bool inherited = false; // set in a child of fork: the connection is the parent's
    std::unique_ptr<CacheIndex> index;
};

OpenCache& TheCache() {
    static OpenCache cache;
    // Told of a fork by the C library rather than by asking for the process
    // id on every call, which costs a system call per cache operation.
    static const bool watching = [] {
        return ::pthread_atfork(nullptr, nullptr, [] { TheCache().inherited = true; }) == 0;
    }();
    static_cast<void>(watching);
    return cache;
}

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

bool EnsureOpen(OpenCache& cache, const std::string& root, UrlCacheFailure& failure) {
    if (cache.inherited) {
        // The parent's connection belongs to the parent: closing it here
        // could disturb the parent's locks, so the child lets it go unused.
        static_cast<void>(cache.index.release());
        cache.root.clear();
        cache.inherited = false;
    }
    if (cache.index && cache.root == root) {
        return true;
    }
    cache.index.reset();
    if (!MakeDirectories(root)) {
        failure = FailureFromErrno(root, errno);
        return false;
    }
    SweepStaleTemporaries(root);
    cache.index = CacheIndex::Open(root + "/index.sqlite", &failure);
    cache.root = root;
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

bool WithUrlCache(const std::function<void(CacheIndex& index, const std::string& root)>& work,
                  UrlCacheFailure* failure) {
    const std::string root = CacheRoot();
    UrlCacheFailure why;
    bool opened = false;
    if (root.empty()) {
        why = {{}, {}, ERROR_PATH_NOT_FOUND, u"neither XDG_CACHE_HOME nor HOME names a folder"};
    } else {
        OpenCache& cache = TheCache();
        const std::lock_guard lock(cache.mutex);
        opened = EnsureOpen(cache, root, why);
        if (opened) {
            work(*cache.index, cache.root);
        }
    }
    if (!opened) {
        RememberFailure(why);
        if (failure != nullptr) {
            *failure = why;
        }
    }
    return opened;
}

} // namespace urlcache
