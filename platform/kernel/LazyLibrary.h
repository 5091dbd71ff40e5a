// Shared libraries loaded when one of their functions is first called.
//
// A program that links libcurl, OpenSSL, SQLite and libxml2 maps them and
// their dozens of dependencies at start-up, whatever the command: most of
// its resident memory before main. Instead, each function the program uses
// from such a library is a small stub (generated at build time from a list
// of names, see cmake/LazyLibrary.cmake) that jumps through a slot; the
// slot first leads to DravikLazyBind, which loads the library by its
// soname, finds the function and fills the slot, so later calls cost one
// indirect jump. A command that never calls into a library never loads it.
#pragma once

extern "C" {

/// Fills slot `index` of `slots` with the address of the `index`-th name in
/// `names` (names separated by zero bytes) from the library `soname`, loading
/// it first, and returns that address. A library or function that cannot be
/// found ends the process with a message, as the loader does at start-up.
void* DravikLazyBind(void** slots, const char* names, const char* soname, unsigned index);

/// One library's stubs, as the generated code lays them out.
struct DravikLazyGroup {
    void** slots;
    void* const* thunks; ///< each slot's value before it was bound
    unsigned long count;
    const char* soname;
};

/// Unloads the group's library and points its slots back at the binding
/// stubs, so that the next call loads it again. For a library needed only
/// for a moment (the host page's parser): its pages stop counting towards
/// the process's memory. The caller makes sure that no call into the
/// library is running or can start meanwhile.
void DravikLazyRelease(const DravikLazyGroup* group);
}
