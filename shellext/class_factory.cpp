#include "shellext/class_factory.h"

#include <new>

#include "shellext/server.h"
#include "shellext/shell_extent.h"

CClassFactory::CClassFactory() : references_(1) { ServerObjectCreated(); }

CClassFactory::~CClassFactory() { ServerObjectReleased(); }

STDMETHODIMP CClassFactory::QueryInterface(REFIID interfaceId, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualIID(interfaceId, IID_IUnknown) && !IsEqualIID(interfaceId, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID interfaceId, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* handler = new (std::nothrow) CShellExtent();
    if (!handler) {
        return E_OUTOFMEMORY;
    }
    HRESULT result = handler->QueryInterface(interfaceId, object);
    handler->Release();
    return result;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    // A locked server counts as a live object, so that it stays loaded.
    if (lock) {
        ServerObjectCreated();
    } else {
        ServerObjectReleased();
    }
    return S_OK;
}
