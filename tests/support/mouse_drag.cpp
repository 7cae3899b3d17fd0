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

// The window the files are dragged from, as a folder window would be. The
// drag loop reads the button from this thread's key state, which only a
// button press on a window of this thread sets.
HWND SourceWindowAt(POINT from)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"ZpkTestDragSource";
    RegisterClassW(&windowClass);
    return CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"ZpkTestDragSource", L"", WS_POPUP | WS_VISIBLE | WS_BORDER,
                           from.x - 40, from.y - 40, 80, 80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Presses the left button on the window and takes the press from the queue.
bool PressOn(HWND window, POINT at)
{
    MouseTo(at.x, at.y);
    Sleep(100);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    ULONGLONG deadline = GetTickCount64() + 3000;
    while (GetTickCount64() < deadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
            if (message.message == WM_LBUTTONDOWN && message.hwnd == window) {
                return true;
            }
        }
        Sleep(10);
    }
    return false;
}

}  // namespace

HRESULT DragFilesWithMouse(const std::vector<std::wstring>& paths, POINT from, HWND target, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    RECT area{};
    GetWindowRect(target, &area);
    POINT to{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    ScopedWindow source(SourceWindowAt(from));
    if (!source || !PressOn(source.Get(), from)) {
        MouseButton(MOUSEEVENTF_LEFTUP);
        return E_FAIL;
    }
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
    ButtonDropSource dropSource;
    HRESULT result = DoDragDrop(data.Get(), &dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect);
    hand.join();
    return result;
}
