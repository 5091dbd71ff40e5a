// SPDX-License-Identifier: Apache-2.0
#include "framework/com/ObjectFactory.h"

#include <new>

HRESULT COleObjectFactory::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown && riid != IID_IClassFactory) {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    *ppvObject = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

HRESULT COleObjectFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    IUnknown* object = nullptr;
    try {
        object = OnCreateObject();
    } catch (const std::bad_alloc&) {
        object = nullptr;
    }
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    // Held across the query, so an object that lacks `riid` is deleted again.
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppvObject);
    object->Release();
    return hr;
}

HRESULT COleObjectFactory::LockServer(BOOL fLock) {
    if (fLock) {
        ++m_serverLocks;
        m_locks.Lock();
        return S_OK;
    }
    // Only a lock this class object gave may be released through it.
    if (!TakeOne(m_serverLocks)) {
        return E_UNEXPECTED;
    }
    m_locks.Unlock();
    return S_OK;
}

BOOL COleObjectFactory::UpdateRegistryAll(std::span<COleObjectFactory* const> factories,
                                          BOOL bRegister) {
    for (COleObjectFactory* factory : factories) {
        if (!factory->UpdateRegistry(bRegister)) {
            return FALSE;
        }
    }
    return TRUE;
}

HRESULT COleObjectFactory::GetClassObject(std::span<COleObjectFactory* const> factories,
                                          REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    for (COleObjectFactory* factory : factories) {
        if (factory->GetClassID() == rclsid) {
            return factory->QueryInterface(riid, ppv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}
