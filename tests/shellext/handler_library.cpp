#include "shellext/handler_library.h"

#include <oleidl.h>

#include "common/system.h"

const CLSID kHandlerClassId = {0x6A1C2E47, 0x0B93, 0x4D5F, {0x8E, 0x21, 0x3C, 0x7A, 0x9B, 0x04, 0xF1, 0x5D}};

const wchar_t* HandlerLibraryName() { return sizeof(void*) == 8 ? L"ZPKShlEx64.dll" : L"ZPKShlEx32.dll"; }

HandlerLibrary::HandlerLibrary(const std::wstring& path) : module_(LoadLibraryW(path.c_str()))
{
    if (module_) {
        getClassObject_ = GetProcedure<GetClassObjectFunction>(module_.Get(), "DllGetClassObject");
        canUnloadNow_ = GetProcedure<CanUnloadNowFunction>(module_.Get(), "DllCanUnloadNow");
    }
}

namespace {

// The steps after the handler is made: Load, then the drop target face.
IDropTarget* LoadedDropTarget(HRESULT result, IPersistFile* file, const std::wstring& archive, HRESULT* loadResult)
{
    if (SUCCEEDED(result)) {
        result = file->Load(archive.c_str(), STGM_READ);
    }
    IDropTarget* target = nullptr;
    if (SUCCEEDED(result)) {
        result = file->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
    }
    if (loadResult) {
        *loadResult = result;
    }
    return target;
}

}  // namespace

IDropTarget* HandlerLibrary::CreateDropTarget(const std::wstring& archive, HRESULT* loadResult)
{
    ComPtr<IClassFactory> factory;
    HRESULT result = GetClassObject(kHandlerClassId, IID_IClassFactory, factory.ReceiveVoid());
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(result)) {
        result = factory->CreateInstance(nullptr, IID_IPersistFile, file.ReceiveVoid());
    }
    return LoadedDropTarget(result, file.Get(), archive, loadResult);
}

IDropTarget* CreateRegisteredDropTarget(const std::wstring& archive, HRESULT* loadResult)
{
    ComPtr<IPersistFile> file;
    HRESULT result =
        CoCreateInstance(kHandlerClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, file.ReceiveVoid());
    return LoadedDropTarget(result, file.Get(), archive, loadResult);
}
