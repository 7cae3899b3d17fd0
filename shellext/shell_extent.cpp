#include "shellext/shell_extent.h"

#include "archive/zipfile.h"
#include "archive/zlib_binding.h"
#include "common/messages.h"
#include "common/password_prompt.h"
#include "common/paths.h"
#include "common/settings.h"
#include "common/system.h"
#include "common_ids.h"
#include "shellext/dropped_files.h"
#include "shellext/folder_menu.h"
#include "shellext/server.h"

CShellExtent::CShellExtent() : references_(1) { ServerObjectCreated(); }

CShellExtent::~CShellExtent() { ServerObjectReleased(); }

STDMETHODIMP CShellExtent::QueryInterface(REFIID interfaceId, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IPersistFile)) {
        *object = static_cast<IPersistFile*>(this);
    } else if (IsEqualIID(interfaceId, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExtent::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) CShellExtent::Release()
{
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CShellExtent::GetClassID(CLSID* classId)
{
    if (!classId) {
        return E_POINTER;
    }
    *classId = kDropHandlerClassId;
    return S_OK;
}

STDMETHODIMP CShellExtent::IsDirty() { return E_NOTIMPL; }

STDMETHODIMP CShellExtent::Load(LPCOLESTR fileName, DWORD)
{
    if (!fileName) {
        return E_POINTER;
    }
    targetPath_ = Unquote(WString(fileName));
    return ExtensionPart(targetPath_).Lower() == L"zip" ? S_OK : E_FAIL;
}

STDMETHODIMP CShellExtent::Save(LPCOLESTR, BOOL) { return E_NOTIMPL; }

STDMETHODIMP CShellExtent::SaveCompleted(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP CShellExtent::GetCurFile(LPOLESTR* fileName)
{
    if (!fileName) {
        return E_POINTER;
    }
    *fileName = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CShellExtent::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    if (!effect) {
        return E_POINTER;
    }
    offersFiles_ = OffersFileList(data);
    *effect = offersFiles_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP CShellExtent::DragOver(DWORD, POINTL, DWORD* effect)
{
    if (!effect) {
        return E_POINTER;
    }
    *effect = offersFiles_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP CShellExtent::DragLeave()
{
    offersFiles_ = false;
    return S_OK;
}

STDMETHODIMP CShellExtent::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect)
{
    if (!effect) {
        return E_POINTER;
    }
    // Only a copy is ever reported, and only when something was added: a
    // source that honours a move would delete the user's originals.
    *effect = DROPEFFECT_NONE;
    offersFiles_ = false;
    if (targetPath_.IsEmpty()) {
        return E_FAIL;
    }
    // The list is read and the medium given back before anything is shown,
    // so that a drop without files never opens the archive or a menu.
    StringList paths(false);
    if (!ReadDroppedFiles(data, paths)) {
        return E_FAIL;
    }
    // Without an install folder the library name alone would be looked for
    // along the search path, wherever the shell happens to stand.
    WString installFolder = ReadStoredSettings().installFolder;
    if (installFolder.IsEmpty()) {
        ShowError(WString(kZlibUnavailable));
        return E_FAIL;
    }
    bool added = false;
    HRESULT result = AddDroppedFilesToZip(targetPath_, JoinPath(installFolder, ZlibLibraryName()), paths, added);
    if (added) {
        *effect = DROPEFFECT_COPY;
    }
    return result;
}

HRESULT AddDroppedFilesToZip(const WString& archivePath, const WString& zlibPath, const StringList& paths,
                             bool& added)
{
    added = false;
    // Asked only when the archive's files are all encrypted; it outlives
    // the archive object that asks it.
    DialogPasswords passwords;
    // An opened entry waiting to be written back may live in the work
    // folder; a drop must not take it away.
    CZipFile archive(archivePath, zlibPath, true);
    if (archive.HasError()) {
        ShowError(archive.ErrorText());
        archive.ClearErrorText();
        return E_FAIL;
    }
    WString choice;
    {
        FolderMenu menu(archive, ModuleInstance(), IDI_CABFILE);
        if (menu.FolderCount() > 0) {
            menu.Show();
        }
        choice = menu.Result();
    }
    PumpPending();
    if (choice.IsEmpty()) {
        return S_OK;
    }
    // Files joining an archive whose files are all encrypted are encrypted
    // the same way: the password is asked once and proved on one of them.
    // The folder menu needed none.
    archive.SetPasswordSource(&passwords);
    EntryProtection protection;
    if (!archive.SharedProtection(protection) || !archive.UseProtection(protection)) {
        ShowError(archive.ErrorText());
        archive.ClearErrorText();
        return S_OK;
    }
    WString folder = choice == kTopLevelResult ? WString() : choice + L"\\";
    HRESULT result = S_OK;
    int accepted = 0;
    for (int i = 0; i < paths.Count(); ++i) {
        if (archive.Add(paths[i], folder, -1)) {
            ++accepted;
            continue;
        }
        if (archive.HasError()) {
            ShowError(archive.ErrorText());
            archive.ClearErrorText();
            result = E_FAIL;
            break;
        }
    }
    // The archive is written here rather than when the object ends, so
    // that the caller learns whether anything arrived; a failure keeps its
    // text, which the object shows when it ends.
    added = accepted > 0 && archive.Commit() && !archive.HasError();
    return result;
}
