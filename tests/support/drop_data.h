// A hand-written data object as a drag source hands it to a drop target:
// a file list (CF_HDROP) from paths or from a raw block, handed out in a
// chosen kind of medium, or only text. It counts the media it handed out
// and those given back, so that a test sees a target that keeps one.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <string>
#include <vector>

#include "support/test_files.h"

// A DROPFILES block with the paths, wide names or code-page names.
Bytes FileListBlock(const std::vector<std::wstring>& paths, bool wide = true);

enum DropMedium {
    kGlobalMedium = 0,     // the block in global memory
    kNullGlobalMedium = 1, // global memory claimed, no handle
    kStreamMedium = 2,     // the block in a stream instead of global memory
};

class DropData : public IDataObject {
public:
    // Reference count 1, held by the caller.
    static DropData* WithFiles(const std::vector<std::wstring>& paths);
    static DropData* WithBlock(const Bytes& block, DropMedium medium = kGlobalMedium);
    static DropData* WithTextOnly();

    int HandedOut() const { return handedOut_; }
    int GivenBack() const { return givenBack_; }

    STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    class Releaser;
    DropData(const Bytes& block, bool hasFiles, DropMedium medium);
    virtual ~DropData() = default;

    LONG references_ = 1;
    Bytes block_;
    bool hasFiles_;
    DropMedium medium_;
    int handedOut_ = 0;
    int givenBack_ = 0;
};
