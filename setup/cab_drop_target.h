// The drop target of the add dialog's drop area: it takes a file list,
// keeps its paths and posts WM_DROPFILES to the area, so that the add runs
// after the source has been released. While its dialog is disabled (a
// folder menu or an add runs) it takes nothing.
#pragma once

#include <windows.h>
#include <oleidl.h>
#include <shobjidl.h>

#include "common/handles.h"
#include "common/stringlist.h"

class CDropTarget : public IDropTarget {
public:
    // Registers the window; the count starts at 1, held by the caller.
    explicit CDropTarget(HWND window);
    CDropTarget(const CDropTarget&) = delete;
    CDropTarget& operator=(const CDropTarget&) = delete;

    // Stops taking drops: the drag image helper goes and the window is no
    // longer a drop target. The caller then releases its reference.
    void Revoke();
    // The paths of the last drop, in the data object's order.
    const StringList& Paths() const { return paths_; }

    STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

    // The shell's drag image, shown over the window while a drag is on it.
    IDropTargetHelper* DragImage() const { return dragImage_.Get(); }

private:
    virtual ~CDropTarget();
    bool Accepting() const;

    StringList paths_{false};
    ComPtr<IDropTargetHelper> dragImage_;
    volatile LONG references_ = 1;
    HWND window_;
    bool registered_ = false;
    bool offersFiles_ = false;
};
