// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/LazyLibrary.h"

#include <dlfcn.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A library opened while descriptors (or memory) are short may open a
// moment later, once a connection has ended: ten tries over half a second.
constexpr int kOpenTries = 10;
constexpr long kOpenPauseNs = 50L * 1000 * 1000;

void ReportAndExit(const char* soname, const char* name, const char* reason) {
    std::fprintf(stderr, "dravik: cannot load %s from %s: %s\n", name, soname, reason);
    std::_Exit(1);
}

std::atomic<DravikLazyFailure> g_failure{&ReportAndExit};

bool Transient(const char* reason) {
    return reason != nullptr && (std::strstr(reason, "Too many open files") != nullptr ||
                                 std::strstr(reason, "Cannot allocate memory") != nullptr);
}

/// The library, opened (tried again while the failure looks transient), or
/// null with the loader's reason copied into `reason`.
void* OpenLibrary(const char* soname, char* reason, std::size_t size) {
    for (int attempt = 1;; ++attempt) {
        if (void* library = ::dlopen(soname, RTLD_LAZY | RTLD_LOCAL)) {
            return library;
        }
        const char* why = ::dlerror();
        std::snprintf(reason, size, "%s", why != nullptr ? why : "unknown reason");
        if (attempt == kOpenTries || !Transient(reason)) {
            return nullptr;
        }
        const timespec pause{0, kOpenPauseNs};
        ::nanosleep(&pause, nullptr);
    }
}

const char* NameAt(const char* names, unsigned index) {
    const char* name = names;
    for (unsigned i = 0; i < index; ++i) {
        name += std::strlen(name) + 1;
    }
    return name;
}

} // namespace

extern "C" void DravikLazySetFailure(DravikLazyFailure handler) {
    g_failure = handler != nullptr ? handler : &ReportAndExit;
}

extern "C" void* DravikLazyBind(void** slots, const char* names, const char* soname,
                                unsigned index) {
    const char* name = NameAt(names, index);
    char reason[512];
    // The library stays loaded for the life of the process: every slot that
    // points into it keeps pointing there.
    void* library = OpenLibrary(soname, reason, sizeof reason);
    void* function = library != nullptr ? ::dlsym(library, name) : nullptr;
    if (library != nullptr && function == nullptr) {
        const char* why = ::dlerror();
        std::snprintf(reason, sizeof reason, "%s", why != nullptr ? why : "no such function");
    }
    if (function == nullptr) {
        g_failure.load()(soname, name, reason);
        ReportAndExit(soname, name, reason); // a handler that returned
    }
    __atomic_store_n(&slots[index], function, __ATOMIC_RELEASE);
    return function;
}

extern "C" void DravikLazyRelease(const DravikLazyGroup* group) {
    // Every bound slot took one reference of the library (DravikLazyBind).
    int references = 0;
    for (unsigned long i = 0; i < group->count; ++i) {
        if (group->slots[i] != group->thunks[i]) {
            __atomic_store_n(&group->slots[i], group->thunks[i], __ATOMIC_RELEASE);
            ++references;
        }
    }
    void* library = ::dlopen(group->soname, RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) {
        return;
    }
    for (int i = 0; i <= references; ++i) {
        ::dlclose(library);
    }
}

extern "C" int DravikLazyLoad(const DravikLazyGroup* group, char* error, unsigned long size) {
    char reason[512];
    void* library = OpenLibrary(group->soname, reason, sizeof reason);
    if (library == nullptr) {
        std::snprintf(error, size, "cannot load %s: %s", group->soname, reason);
        return 0;
    }
    const char* name = group->names;
    for (unsigned long i = 0; i < group->count; ++i, name += std::strlen(name) + 1) {
        if (__atomic_load_n(&group->slots[i], __ATOMIC_ACQUIRE) != group->thunks[i]) {
            continue; // bound already, and holding its own reference
        }
        void* function = ::dlsym(library, name);
        if (function == nullptr) {
            std::snprintf(error, size, "cannot find %s in %s", name, group->soname);
            ::dlclose(library);
            return 0;
        }
        // Each bound slot holds one reference of the library, as a slot
        // bound on its first call does (DravikLazyRelease counts them).
        ::dlopen(group->soname, RTLD_LAZY | RTLD_NOLOAD);
        __atomic_store_n(&group->slots[i], function, __ATOMIC_RELEASE);
    }
    ::dlclose(library);
    return 1;
}
