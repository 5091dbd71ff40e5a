// SPDX-License-Identifier: Apache-2.0
// COleControlModule: the one object of a control module that starts and
// stops it.
//
// A control module defines one object of a class derived from this; it is
// constructed while the library loads. The loader then runs InitInstance,
// and a FALSE result makes the load fail; ExitInstance runs before the
// library is unloaded, also after a refused start. A derived class calls
// Stop() in its destructor, so that a process ending with the module still
// loaded stops it as well (the base cannot: the derived part is gone).
//
// The object also records the version of dravik the module was built as:
// the default argument is evaluated in the module's own code, so the loader
// can refuse a module built for another version of the platform runtime
// than the one the process runs (another installation's module).
#pragma once

#include "framework/com/ModuleLoader.h"

class COleControlModule {
  public:
    explicit COleControlModule(const char* builtFor = DRAVIK_VERSION);
    virtual ~COleControlModule();
    COleControlModule(const COleControlModule&) = delete;
    COleControlModule& operator=(const COleControlModule&) = delete;

    /// The framework's start: TRUE.
    virtual BOOL InitInstance();
    /// The framework's stop: 0.
    virtual int ExitInstance();

    /// Run by the loader: InitInstance, and ExitInstance at once when it
    /// refuses. Returns InitInstance's result.
    BOOL Start();
    /// Run by the loader before unloading: ExitInstance, when Start succeeded.
    void Stop();
    /// Whether the module started and has not stopped.
    bool IsRunning() const { return m_bRunning; }

    /// The module this object lives in.
    HINSTANCE m_hInstance = nullptr;
    /// The version of dravik the module was built as.
    const char* const m_builtFor;

  private:
    bool m_bRunning = false;
};
