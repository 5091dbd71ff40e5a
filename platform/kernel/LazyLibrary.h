// SPDX-License-Identifier: Apache-2.0
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
/// it first, and returns that address. A library that cannot be opened for
/// want of descriptors or memory is tried again for a moment; a library or
/// function that still cannot be found goes to the failure handler, which
/// reports it and ends the process with an exit status of its choosing
/// (never abort(): no core dump, no signal for what is a missing file).
void* DravikLazyBind(void** slots, const char* names, const char* soname, unsigned index);

/// Called with what could not be loaded; must not return.
typedef void (*DravikLazyFailure)(const char* soname, const char* name, const char* reason);

/// Sets the failure handler (by default: a message and exit status 1).
void DravikLazySetFailure(DravikLazyFailure handler);

/// One library's stubs, as the generated code lays them out.
struct DravikLazyGroup {
    void** slots;
    void* const* thunks; ///< each slot's value before it was bound
    unsigned long count;
    const char* soname;
    const char* names; ///< the functions' names, each ended by a zero byte
};

/// Unloads the group's library and points its slots back at the binding
/// stubs, so that the next call loads it again. For a library needed only
/// for a moment (the host page's parser): its pages stop counting towards
/// the process's memory. The caller makes sure that no call into the
/// library is running or can start meanwhile.
void DravikLazyRelease(const DravikLazyGroup* group);

/// Loads the group's library and binds every slot now, for a command that
/// must not find a library missing once it serves. Returns 1, or 0 with a
/// message in `error` (of `size` bytes) naming what could not be loaded.
int DravikLazyLoad(const DravikLazyGroup* group, char* error, unsigned long size);
}
