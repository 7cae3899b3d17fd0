#include "shellext/server.h"

#include <new>

#include "shellext/class_factory.h"

// {6A1C2E47-0B93-4D5F-8E21-3C7A9B04F15D}
const CLSID kDropHandlerClassId = {0x6A1C2E47, 0x0B93, 0x4D5F, {0x8E, 0x21, 0x3C, 0x7A, 0x9B, 0x04, 0xF1, 0x5D}};

namespace {

volatile LONG g_liveObjects = 0;

}  // namespace

void ServerObjectCreated() { InterlockedIncrement(&g_liveObjects); }

void ServerObjectReleased() { InterlockedDecrement(&g_liveObjects); }

LONG ServerObjectCount() { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(classId, kDropHandlerClassId)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) CClassFactory();
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    // The factory starts with one reference of its own, so that a refused
    // interface frees it here and the count of live objects falls again.
    HRESULT result = factory->QueryInterface(interfaceId, object);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() { return ServerObjectCount() == 0 ? S_OK : S_FALSE; }
