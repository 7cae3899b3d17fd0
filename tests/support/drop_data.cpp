#include "support/drop_data.h"

#include <shlobj.h>

#include "common/wstring.h"

Bytes FileListBlock(const std::vector<std::wstring>& paths, bool wide)
{
    ByteBuilder block;
    block.U32(sizeof(DROPFILES)).U32(0).U32(0).U32(0).U32(wide ? 1 : 0);
    for (const std::wstring& path : paths) {
        if (wide) {
            for (wchar_t unit : path) {
                block.U16(static_cast<uint16_t>(unit));
            }
            block.U16(0);
        } else {
            AString text = WString(path.c_str()).ToAnsi();
            block.Text(std::string(text.c_str(), static_cast<size_t>(text.Length()))).U8(0);
        }
    }
    wide ? block.U16(0) : block.U8(0);
    return block.Get();
}

// The medium's owner: ReleaseStgMedium releases it instead of freeing the
// memory, which tells the data object that the medium came back.
class DropData::Releaser final : public IUnknown {
public:
    Releaser(DropData* owner, HGLOBAL memory) : owner_(owner), memory_(memory) { owner_->AddRef(); }
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override
    {
        *object = IsEqualIID(interfaceId, IID_IUnknown) ? this : nullptr;
        if (!*object) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            ++owner_->givenBack_;
            if (memory_) {
                GlobalFree(memory_);
            }
            owner_->Release();
            delete this;
        }
        return static_cast<ULONG>(left);
    }

private:
    LONG references_ = 1;
    DropData* owner_;
    HGLOBAL memory_;
};

DropData::DropData(const Bytes& block, bool hasFiles, DropMedium medium)
    : block_(block), hasFiles_(hasFiles), medium_(medium)
{
}

DropData* DropData::WithFiles(const std::vector<std::wstring>& paths)
{
    return new DropData(FileListBlock(paths), true, kGlobalMedium);
}

DropData* DropData::WithBlock(const Bytes& block, DropMedium medium) { return new DropData(block, true, medium); }

DropData* DropData::WithTextOnly() { return new DropData(Bytes(), false, kGlobalMedium); }

STDMETHODIMP DropData::QueryInterface(REFIID interfaceId, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IDataObject)) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DropData::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) DropData::Release()
{
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP DropData::QueryGetData(FORMATETC* format)
{
    if (!format) {
        return E_POINTER;
    }
    bool files = hasFiles_ && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL);
    bool text = format->cfFormat == CF_UNICODETEXT && (format->tymed & TYMED_HGLOBAL);
    return files || text ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP DropData::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out) {
        out->ptd = nullptr;
    }
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP DropData::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium) {
        return E_POINTER;
    }
    *medium = STGMEDIUM{};
    if (QueryGetData(format) != S_OK) {
        return DV_E_FORMATETC;
    }
    const Bytes& content = format->cfFormat == CF_HDROP ? block_ : Bytes{'t', 0, 0, 0};
    HGLOBAL memory = nullptr;
    if (medium_ != kNullGlobalMedium || format->cfFormat != CF_HDROP) {
        memory = GlobalAlloc(GMEM_MOVEABLE, content.empty() ? 1 : content.size());
        if (!memory) {
            return E_OUTOFMEMORY;
        }
        void* data = GlobalLock(memory);
        if (!content.empty()) {
            memcpy(data, content.data(), content.size());
        }
        GlobalUnlock(memory);
    }
    if (medium_ == kStreamMedium && format->cfFormat == CF_HDROP) {
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
            GlobalFree(memory);
            return E_OUTOFMEMORY;
        }
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        medium->pUnkForRelease = new Releaser(this, nullptr);
    } else {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = new Releaser(this, memory);
    }
    ++handedOut_;
    return S_OK;
}
