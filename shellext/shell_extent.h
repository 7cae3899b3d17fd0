// The drop handler: the shell hands it the .zip file it was loaded for
// (IPersistFile) and then the files dropped onto that file (IDropTarget).
// Both faces belong to one object with one reference count.
#pragma once

#include <windows.h>
#include <oleidl.h>
#include <objidl.h>

#include "common/stringlist.h"
#include "common/wstring.h"

class CShellExtent : public IPersistFile, public IDropTarget {
public:
    // One reference, held by the creator.
    CShellExtent();
    CShellExtent(const CShellExtent&) = delete;
    CShellExtent& operator=(const CShellExtent&) = delete;

    STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetClassID(CLSID* classId) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
    STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
    STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
    STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

private:
    virtual ~CShellExtent();

    volatile LONG references_;
    WString targetPath_;
    // Whether the data of the drag in progress is a file list.
    bool offersFiles_ = false;
};

// Adds the paths to the archive at a folder the user picks from the folder
// menu; zlibPath is the zlib library to use. added tells whether the
// archive was changed. The work folder is left as it is.
HRESULT AddDroppedFilesToZip(const WString& archivePath, const WString& zlibPath, const StringList& paths,
                             bool& added);
