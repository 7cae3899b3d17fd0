#include "setup/cab_drop_target.h"

#include <shlobj.h>

#include "common/messages.h"
#include "shellext/dropped_files.h"

CDropTarget::CDropTarget(HWND window) : window_(window)
{
    if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                                dragImage_.ReceiveVoid()))) {
        dragImage_.Reset();
    }
    registered_ = ReportHResultFailure(RegisterDragDrop(window, this), "RegisterDragDrop");
}

CDropTarget::~CDropTarget() { Revoke(); }

void CDropTarget::Revoke()
{
    dragImage_.Reset();
    if (registered_) {
        registered_ = false;
        ReportHResultFailure(RevokeDragDrop(window_), "RevokeDragDrop");
    }
    paths_.Clear();
}

bool CDropTarget::Accepting() const { return IsWindowEnabled(GetAncestor(window_, GA_ROOT)) != FALSE; }

STDMETHODIMP CDropTarget::QueryInterface(REFIID interfaceId, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualIID(interfaceId, IID_IUnknown) && !IsEqualIID(interfaceId, IID_IDropTarget)) {
        return E_NOINTERFACE;
    }
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CDropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) CDropTarget::Release()
{
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CDropTarget::DragEnter(IDataObject* data, DWORD, POINTL point, DWORD* effect)
{
    if (!effect) {
        return E_POINTER;
    }
    offersFiles_ = Accepting() && OffersFileList(data);
    *effect = offersFiles_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    if (dragImage_ && data) {
        POINT where{point.x, point.y};
        dragImage_->DragEnter(window_, data, &where, *effect);
    }
    return S_OK;
}

STDMETHODIMP CDropTarget::DragOver(DWORD, POINTL point, DWORD* effect)
{
    if (!effect) {
        return E_POINTER;
    }
    *effect = offersFiles_ && Accepting() ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    if (dragImage_) {
        POINT where{point.x, point.y};
        dragImage_->DragOver(&where, *effect);
    }
    return S_OK;
}

STDMETHODIMP CDropTarget::DragLeave()
{
    offersFiles_ = false;
    if (dragImage_) {
        dragImage_->DragLeave();
    }
    return S_OK;
}

STDMETHODIMP CDropTarget::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect)
{
    if (!effect) {
        return E_POINTER;
    }
    offersFiles_ = false;
    if (dragImage_ && data) {
        POINT where{point.x, point.y};
        dragImage_->Drop(data, &where, DROPEFFECT_COPY);
    }
    // A copy at most: a source that honours a move would delete the
    // user's originals. Nothing is taken while a menu or an add runs.
    *effect = DROPEFFECT_NONE;
    if (!Accepting()) {
        return S_OK;
    }
    StringList paths(false);
    if (!ReadDroppedFiles(data, paths)) {
        return E_FAIL;
    }
    paths_ = paths;
    PostMessageW(window_, WM_DROPFILES, 0, 0);
    *effect = DROPEFFECT_COPY;
    return S_OK;
}
