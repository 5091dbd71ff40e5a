// SPDX-License-Identifier: Apache-2.0
// The objects behind HINTERNET values, and the registry that hands them out.
//
// Callers hold plain pointers; the registry owns the objects, so a closed or
// made-up handle is recognised and refused instead of being used.
#pragma once

#include "platform/inet/HandleOptions.h"
#include "platform/inet/WinInet.h"

#include <memory>

namespace inet {

enum class HandleKind { Session, Connect, Request };

class InternetHandle {
  public:
    explicit InternetHandle(HandleKind kind, const HandleOptions& options)
        : m_kind(kind), m_options(options) {}
    virtual ~InternetHandle() = default;
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HandleKind Kind() const { return m_kind; }
    HandleOptions& Options() { return m_options; }

  private:
    HandleKind m_kind;
    HandleOptions m_options;
};

/// Takes ownership of `handle` and returns the value callers use for it.
HINTERNET RegisterHandle(std::unique_ptr<InternetHandle> handle);

/// The live object for `handle`, or null (last error ERROR_INVALID_HANDLE).
InternetHandle* FindHandle(HINTERNET handle);

/// The live object of kind `kind`, or null with the last error set
/// (ERROR_INVALID_HANDLE, or ERROR_INTERNET_INCORRECT_HANDLE_TYPE).
InternetHandle* FindHandleOfKind(HINTERNET handle, HandleKind kind);

/// Removes and destroys the object; false when the handle is not live.
bool ReleaseHandle(HINTERNET handle);

/// FindHandleOfKind, cast to the class that kind is made of.
template <class T> T* FindHandleAs(HINTERNET handle, HandleKind kind) {
    return static_cast<T*>(FindHandleOfKind(handle, kind));
}

} // namespace inet
