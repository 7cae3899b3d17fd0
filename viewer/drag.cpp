#include "viewer/drag.h"

#include "viewer/menu_model.h"

bool IsDraggableKind(int kind)
{
    return kind == kItemWholeArchive || kind == kItemFile || kind == kItemFolder;
}

bool DragTracker::OnMouse(int keys, POINT at, int currentItem, int currentKind, SIZE dragDistance)
{
    if (state_ == kDragging) {
        return false;
    }
    int previous = previousKeys_;
    previousKeys_ = keys;
    if (state_ == kDragIdle) {
        if (!(previous & kKeyLeft) && (keys & kKeyLeft) && currentItem > 0 && IsDraggableKind(currentKind)) {
            state_ = kDragPressed;
            pressedItem_ = currentItem;
            pressedAt_ = at;
        }
        return false;
    }
    if (state_ == kDragPressed) {
        if (keys != previous) {
            state_ = kDragIdle;
            return false;
        }
        int dx = at.x - pressedAt_.x;
        int dy = at.y - pressedAt_.y;
        if ((dx < 0 ? -dx : dx) <= dragDistance.cx && (dy < 0 ? -dy : dy) <= dragDistance.cy) {
            return false;
        }
        state_ = kDragging;
        return true;
    }
    return false;
}

HRESULT STDMETHODCALLTYPE CDropSource::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
        *object = static_cast<IDropSource*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CDropSource::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE CDropSource::Release()
{
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE CDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
    if (escapePressed) {
        return DRAGDROP_S_CANCEL;
    }
    if (keyState & (MK_LBUTTON | MK_RBUTTON)) {
        return S_OK;
    }
    return DRAGDROP_S_DROP;
}

HRESULT STDMETHODCALLTYPE CDropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }
