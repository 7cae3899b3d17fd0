// The class factory of the drop handler.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CClassFactory : public IClassFactory {
public:
    // One reference, held by the creator.
    CClassFactory();
    CClassFactory(const CClassFactory&) = delete;
    CClassFactory& operator=(const CClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID interfaceId, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    virtual ~CClassFactory();

    volatile LONG references_;
};
