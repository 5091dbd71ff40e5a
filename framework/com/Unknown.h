// SPDX-License-Identifier: Apache-2.0
// IUnknown and IClassFactory, the two interfaces every COM object and every
// class object offer, with the small helpers objects and callers share.
//
// An interface is an abstract struct of pure virtual functions with its
// identifier as `kIID`. Objects are reference counted: QueryInterface hands
// out a counted pointer, Release gives it back, and the object deletes
// itself when the last one is gone.
#pragma once

#include "framework/com/Guid.h"
#include "framework/com/HResult.h"

#include <atomic>
#include <tuple>
#include <utility>

struct IUnknown {
    static constexpr IID kIID = {
        0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

    /// S_OK and a counted pointer in `*ppvObject`, or E_NOINTERFACE and null.
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

/// A class object: makes instances of one class.
struct IClassFactory : IUnknown {
    static constexpr IID kIID = {
        0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

    /// A new instance, asked for `riid`. Aggregation is not supported:
    /// a non-null `pUnkOuter` gives CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    /// TRUE keeps the module loaded even without objects; FALSE undoes one lock.
    virtual HRESULT LockServer(BOOL fLock) = 0;

  protected:
    ~IClassFactory() = default;
};

constexpr IID IID_IUnknown = IUnknown::kIID;
constexpr IID IID_IClassFactory = IClassFactory::kIID;

/// IUnknown for an object implementing `Interfaces`: QueryInterface over
/// IUnknown and each interface's kIID, and a reference count that deletes
/// the object when it drops to zero. The count starts at zero; the first
/// QueryInterface takes the first reference.
template <class... Interfaces> class CUnknownImpl : public Interfaces... {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (riid == IID_IUnknown) {
            *ppvObject = static_cast<IUnknown*>(static_cast<First*>(this));
        } else {
            static_cast<void>(
                ((riid == Interfaces::kIID ? (*ppvObject = static_cast<Interfaces*>(this), true)
                                           : false) ||
                 ...));
        }
        if (*ppvObject == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override {
        const ULONG left = --m_cRef;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    CUnknownImpl() = default;
    virtual ~CUnknownImpl() = default;

  private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    std::atomic<ULONG> m_cRef{0};
};

/// Owns one counted interface pointer and releases it when it goes.
template <class T> class CComPtr {
  public:
    CComPtr() = default;
    /// Takes over a reference the caller already holds.
    explicit CComPtr(T* p) : m_p(p) {}
    ~CComPtr() { Reset(); }
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    /// Releases the pointer held, if any.
    void Reset() {
        if (m_p != nullptr) {
            std::exchange(m_p, nullptr)->Release();
        }
    }
    /// Where a call returning a counted pointer stores it (the old one is released).
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }
    /// This object's interface U, or an empty pointer.
    template <class U> CComPtr<U> As() const {
        CComPtr<U> other;
        if (m_p != nullptr) {
            m_p->QueryInterface(U::kIID, other.Receive());
        }
        return other;
    }

  private:
    T* m_p = nullptr;
};
