// Dragging an entry out of the open menu onto a stand-in drop target in a
// window of this test, with real mouse input.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/handles.h"
#include "common/paths.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/window_driver.h"
#include "viewer_fixture.h"

namespace {

// Takes any drop of files and records the first path.
class StandInDropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&references_)); }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        entered = true;
        *effect &= DROPEFFECT_MOVE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect &= DROPEFFECT_MOVE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        if (SUCCEEDED(data->GetData(&format, &medium))) {
            wchar_t path[MAX_PATH] = {};
            DragQueryFileW(static_cast<HDROP>(medium.hGlobal), 0, path, MAX_PATH);
            dropped = path;
            ReleaseStgMedium(&medium);
        }
        *effect = DROPEFFECT_MOVE;
        return S_OK;
    }

    std::wstring dropped;
    bool entered = false;

private:
    LONG references_ = 1;
};

// A window with the stand-in drop target over it, and the viewer run on an
// archive while a driver thread drags its one file from the menu onto the
// window with real mouse input.
class DragOut : public testing::Test {
protected:
    DragOut() : install_(scratch_ / L"install")
    {
        settings_.SetText(L"InstallDir", install_.Folder());
        // A window class of its own: static controls let the mouse fall through.
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ZpkTestDropTarget";
        RegisterClassW(&windowClass);
        target_.Reset(CreateWindowExW(WS_EX_TOPMOST, L"ZpkTestDropTarget", L"drop here",
                                      WS_POPUP | WS_VISIBLE | WS_BORDER, 700, 100, 300, 300, nullptr, nullptr, nullptr,
                                      nullptr));
        registered_ = target_ && RegisterDragDrop(target_.Get(), &dropTarget_) == S_OK;
    }
    ~DragOut() override
    {
        if (registered_) {
            RevokeDragDrop(target_.Get());
        }
    }

    // Drags the file of a one-file archive onto the window; with escape,
    // Escape is pressed over the window before the button is released.
    // False when the menu never appeared.
    bool DragTheFile(const WString& archive, bool escape)
    {
        MouseTo(200, 200);
        std::atomic<bool> pressed{false};
        std::thread driver([&] {
            HWND menu = WaitForPopupMenu(20000);
            if (!menu) {
                return;
            }
            Sleep(400);
            HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            RECT item{};
            if (!GetMenuItemRect(nullptr, handle, 2, &item)) {
                PressKeys({VK_ESCAPE});
                return;
            }
            int x = (item.left + item.right) / 2;
            int y = (item.top + item.bottom) / 2;
            MouseTo(x, y);
            Sleep(400);
            MouseButton(MOUSEEVENTF_LEFTDOWN);
            pressed = true;
            Sleep(200);
            for (int step = 1; step <= 20; ++step) {
                MouseTo(x + (850 - x) * step / 20, y + (250 - y) * step / 20);
                Sleep(60);
            }
            Sleep(300);
            if (escape) {
                PressKeys({VK_ESCAPE});
                Sleep(300);
            }
            MouseButton(MOUSEEVENTF_LEFTUP);
        });
        EXPECT_EQ(0, RunViewerOn(archive));
        driver.join();
        return pressed;
    }

    ScratchFolder scratch_;
    PrivateSettings settings_;
    StandInInstall install_;
    PromptRecorder prompts_;
    ScopedOleInit ole_;
    ScopedWindow target_;
    StandInDropTarget dropTarget_;
    bool registered_ = false;
};

}  // namespace

TEST_F(DragOut, AFileDraggedOntoADropTargetArrivesAsItsWorkFolderCopy)
{
    ASSERT_TRUE(registered_);
    WString archive = scratch_ / L"data.zip";
    ASSERT_TRUE(MakeZip(archive, {{L"a.txt", "dragged"}}));
    ASSERT_TRUE(DragTheFile(archive, false)) << "the menu never appeared";
    EXPECT_EQ(0u, prompts_.Count()) << "a drag is no choice: nothing is opened";
    ASSERT_FALSE(dropTarget_.dropped.empty()) << "nothing was dropped";
    EXPECT_EQ(L"a.txt", std::wstring(FileNamePart(WString(dropTarget_.dropped.c_str())).c_str()));
    Bytes copy = ReadFileBytes(WString(dropTarget_.dropped.c_str()));
    EXPECT_EQ("dragged", std::string(copy.begin(), copy.end())) << "a dropped copy stays for the target to take";
}

TEST_F(DragOut, EscapeDuringTheDragDropsNothingAndRemovesTheWorkFolderCopy)
{
    ASSERT_TRUE(registered_);
    WString archive = scratch_ / L"data.zip";
    ASSERT_TRUE(MakeZip(archive, {{L"b.txt", "cancelled"}}));
    Bytes before = ReadFileBytes(archive);
    ASSERT_TRUE(DragTheFile(archive, true)) << "the menu never appeared";
    EXPECT_TRUE(dropTarget_.dropped.empty()) << "the drag was cancelled";
    EXPECT_EQ(0u, prompts_.Count()) << "a cancelled drag is no choice either";
    EXPECT_TRUE(dropTarget_.entered) << "the drag reached the target before Escape";
    EXPECT_TRUE(WorkCopy(L"b.txt").IsEmpty()) << "the copy made for the drag is gone";
    EXPECT_EQ(before, ReadFileBytes(archive));
}
