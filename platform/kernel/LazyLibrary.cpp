#include "platform/kernel/LazyLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" void* DravikLazyBind(void** slots, const char* names, const char* soname,
                                unsigned index) {
    const char* name = names;
    for (unsigned i = 0; i < index; ++i) {
        name += std::strlen(name) + 1;
    }
    // The library stays loaded for the life of the process: every slot that
    // points into it keeps pointing there.
    void* library = ::dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    void* function = library != nullptr ? ::dlsym(library, name) : nullptr;
    if (function == nullptr) {
        std::fprintf(stderr, "dravik: cannot load %s from %s: %s\n", name, soname, ::dlerror());
        std::abort();
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
