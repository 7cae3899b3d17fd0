// Dragging an entry out of the open menu: the mouse hook's state machine,
// decided from the key state and the cursor alone, and the OLE drop source
// that offers the extracted copy.
#pragma once

#include <windows.h>
#include <ole2.h>

enum DragState {
    kDragIdle = 0,
    kDragPressed = 1,
    kDragging = 2,
    kDragDone = 3,
};

// Key state bits of a mouse event.
const int kKeyLeft = 1;
const int kKeyShift = 4;
const int kKeyControl = 8;

class DragTracker {
public:
    // One mouse event: the key state now, the cursor, the highlighted item
    // and its kind. True when the drag starts now (the state is then
    // kDragging until Finished).
    bool OnMouse(int keys, POINT at, int currentItem, int currentKind, SIZE dragDistance);
    // The drag loop has returned: one drag per run.
    void Finished() { state_ = kDragDone; }
    int State() const { return state_; }
    int PressedItem() const { return pressedItem_; }

private:
    int state_ = kDragIdle;
    int previousKeys_ = 0;
    int pressedItem_ = -1;
    POINT pressedAt_{0, 0};
};

// Whether an item of this kind can be dragged: the whole archive, a file or
// a folder; never About, the CAB add item, placeholders or deleted items.
bool IsDraggableKind(int kind);

class CDropSource : public IDropSource {
public:
    CDropSource() = default;
    virtual ~CDropSource() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    LONG references_ = 1;
};
