#include "support/mouse_drag.h"

#include <oleidl.h>

#include <thread>

#include "common/handles.h"
#include "support/drop_data.h"
#include "support/window_driver.h"

namespace {

// The source side of the drag: it goes on while the left button is held and
// drops when it is let go.
class ButtonDropSource final : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IDropSource)) {
            *object = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    // Lives on the stack of the drag; the count only guards against misuse.
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&references_)); }
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override
    {
        if (escape) {
            return DRAGDROP_S_CANCEL;
        }
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    LONG references_ = 1;
};

}  // namespace

HRESULT DragFilesWithMouse(const std::vector<std::wstring>& paths, POINT from, HWND target, DWORD* effect)
{
    RECT area{};
    GetWindowRect(target, &area);
    POINT to{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    MouseTo(from.x, from.y);
    Sleep(100);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    std::thread hand([from, to] {
        Sleep(400);
        for (int step = 1; step <= 20; ++step) {
            MouseTo(from.x + (to.x - from.x) * step / 20, from.y + (to.y - from.y) * step / 20);
            Sleep(50);
        }
        // The target hears of the last position before the button goes up.
        Sleep(400);
        MouseButton(MOUSEEVENTF_LEFTUP);
    });
    ComPtr<IDataObject> data;
    *data.Receive() = DropData::WithFiles(paths);
    ButtonDropSource source;
    *effect = DROPEFFECT_NONE;
    HRESULT result = DoDragDrop(data.Get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect);
    hand.join();
    return result;
}
