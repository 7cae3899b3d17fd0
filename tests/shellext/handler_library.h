// The drop handler library loaded by path, as the shell loads it, with its
// two entry points.
#pragma once

#include <windows.h>
#include <string>

#include "common/handles.h"

// {6A1C2E47-0B93-4D5F-8E21-3C7A9B04F15D}, as the registration writes it.
extern const CLSID kHandlerClassId;

// The library's file name for this process's width.
const wchar_t* HandlerLibraryName();

// The handler for the archive as the shell makes it from the registered
// class: CoCreateInstance for IPersistFile, Load and the drop target face;
// null (with the failing step's result) when a step failed.
IDropTarget* CreateRegisteredDropTarget(const std::wstring& archive, HRESULT* loadResult);

class HandlerLibrary {
public:
    explicit HandlerLibrary(const std::wstring& path);
    bool IsLoaded() const { return getClassObject_ && canUnloadNow_; }
    HMODULE Module() const { return module_.Get(); }
    HRESULT GetClassObject(REFCLSID classId, REFIID interfaceId, void** object) const
    {
        return getClassObject_(classId, interfaceId, object);
    }
    HRESULT CanUnloadNow() const { return canUnloadNow_(); }
    // The handler for the archive through the factory, Load and the drop
    // target face, as the shell makes it; null (with the failing step's
    // result in loadResult) when a step failed.
    IDropTarget* CreateDropTarget(const std::wstring& archive, HRESULT* loadResult);

private:
    using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFunction = HRESULT(WINAPI*)();
    ScopedModule module_;
    GetClassObjectFunction getClassObject_ = nullptr;
    CanUnloadNowFunction canUnloadNow_ = nullptr;
};
