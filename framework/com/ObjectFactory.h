// SPDX-License-Identifier: Apache-2.0
// COleObjectFactory: the class object of one class of a module, and the
// module-wide count that tells whether the module may be unloaded.
//
// A module keeps one CModuleLocks. Each object it hands out holds one lock
// for its lifetime, and IClassFactory::LockServer adds and removes locks;
// DllCanUnloadNow answers S_OK only when no lock is left. Factories are
// objects of the module that live as long as it: references to them are
// counted but never delete them.
#pragma once

#include "framework/com/Unknown.h"

#include <atomic>
#include <span>

/// Takes one from `count` unless it is zero; whether it did.
inline bool TakeOne(std::atomic<LONG>& count) {
    LONG held = count.load();
    while (held > 0 && !count.compare_exchange_weak(held, held - 1)) {
    }
    return held > 0;
}

class CModuleLocks {
  public:
    void Lock() { ++m_count; }
    /// Releases one lock; false, changing nothing, when none is held (a
    /// count below zero would let the module unload under its objects).
    bool Unlock() { return TakeOne(m_count); }
    LONG Count() const { return m_count; }
    /// S_OK when nothing holds the module, else S_FALSE.
    HRESULT CanUnloadNow() const { return m_count == 0 ? S_OK : S_FALSE; }

  private:
    std::atomic<LONG> m_count{0};
};

class COleObjectFactory : public IClassFactory {
  public:
    COleObjectFactory(REFCLSID clsid, const char16_t* progId, CModuleLocks& locks)
        : m_clsid(clsid), m_lpszProgID(progId), m_locks(locks) {}
    virtual ~COleObjectFactory() = default;
    COleObjectFactory(const COleObjectFactory&) = delete;
    COleObjectFactory& operator=(const COleObjectFactory&) = delete;

    const CLSID& GetClassID() const { return m_clsid; }
    const char16_t* GetProgID() const { return m_lpszProgID; }

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override { return --m_cRef; }
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

    /// Registers (TRUE) or unregisters (FALSE) the class; FALSE on failure.
    virtual BOOL UpdateRegistry(BOOL bRegister) = 0;

    /// Updates every factory in order; FALSE at the first that fails.
    static BOOL UpdateRegistryAll(std::span<COleObjectFactory* const> factories, BOOL bRegister);
    /// DllGetClassObject over the module's factories: CLASS_E_CLASSNOTAVAILABLE
    /// for a class none of them makes.
    static HRESULT GetClassObject(std::span<COleObjectFactory* const> factories, REFCLSID rclsid,
                                  REFIID riid, void** ppv);

  protected:
    /// A new object without references, or null when it cannot be made.
    virtual IUnknown* OnCreateObject() = 0;

    CLSID m_clsid;
    const char16_t* m_lpszProgID;
    CModuleLocks& m_locks;
    /// Locks taken through LockServer(TRUE) and not yet released.
    std::atomic<LONG> m_serverLocks{0};

  private:
    std::atomic<ULONG> m_cRef{0};
};
