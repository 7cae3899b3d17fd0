// The preview hand-over as the sibling file manager sees it: a stand-in
// sibling in a process of its own makes its tray window, answers the notice
// by reading the shared block, and writes what it read to a file.
// (Wine's menus take Space as Enter and never pass it to the owner, so the
// hand-over is driven here from its function, not from the open menu.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "common/paths.h"
#include "support/child_process.h"
#include "support/private_settings.h"
#include "support/test_files.h"
#include "viewer/handover.h"

namespace {

const DWORD kSiblingWait = 15000;

// The stand-in's state: its notice message and where to write what it read.
struct SiblingState {
    UINT notice;
    WString report;
};
SiblingState g_sibling;

LRESULT CALLBACK SiblingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != g_sibling.notice || wParam != kSiblingNotice || lParam == 0) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // The block's size follows from lParam: the header, then the path's
    // units with their NUL, two bytes each.
    size_t size = 24 + (static_cast<size_t>(lParam) - 24) * 2;
    ScopedKernelHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, kHandoverName));
    const void* view = mapping ? MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, size) : nullptr;
    Bytes report = ByteBuilder().U32(static_cast<uint32_t>(lParam)).Get();
    if (view) {
        const auto* bytes = static_cast<const uint8_t*>(view);
        report.insert(report.end(), bytes, bytes + size);
        UnmapViewOfFile(view);
    }
    WriteFileBytes(g_sibling.report, report);
    PostQuitMessage(view ? 0 : 3);
    return 0;
}

// Arguments: the file to write its window handle to, the report file.
const bool kSiblingRegistered = RegisterChildRole(L"sibling", [](const std::vector<std::wstring>& arguments) {
    g_sibling.notice = RegisterWindowMessageW(kSiblingMessage);
    g_sibling.report = WString(arguments.at(1).c_str());
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = SiblingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZpkTestSiblingTray";
    RegisterClassW(&windowClass);
    ScopedWindow tray(CreateWindowExW(0, L"ZpkTestSiblingTray", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      nullptr, nullptr));
    if (!tray) {
        return 2;
    }
    std::string handle = std::to_string(static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(tray.Get())));
    WriteFileText(WString(arguments.at(0).c_str()), handle + "\n");
    SetTimer(tray.Get(), 1, kSiblingWait, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) {
            return 4;
        }
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
});

HWND WaitForSiblingHandle(const WString& file)
{
    ULONGLONG deadline = GetTickCount64() + kSiblingWait;
    while (GetTickCount64() < deadline) {
        Bytes bytes = ReadFileBytes(file);
        if (!bytes.empty() && bytes.back() == '\n') {
            return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::stoull(std::string(bytes.begin(), bytes.end()))));
        }
        Sleep(50);
    }
    return nullptr;
}

void RegisterTray(HWND tray)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kSiblingKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    ScopedHKey owned(key);
    DWORD value = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(tray));
    RegSetValueExW(owned.Get(), kSiblingTrayValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

TEST(Handover, AStandInSiblingInAnotherProcessReadsThePathAndTheItemRectangle)
{
    ScratchFolder scratch;
    PrivateSettings settings;
    EXPECT_EQ(nullptr, ReadSiblingTray()) << "no sibling registered";
    WString handleFile = scratch / L"tray.txt";
    WString report = scratch / L"read.bin";
    ChildProcess sibling(L"sibling", {handleFile.c_str(), report.c_str()});
    ASSERT_TRUE(sibling.Started());
    HWND tray = WaitForSiblingHandle(handleFile);
    ASSERT_NE(nullptr, tray) << "the sibling made no window";
    RegisterTray(tray);
    ASSERT_EQ(tray, ReadSiblingTray()) << "the tray window is read from the sibling's key";

    WString copy(L"C:\\Users\\u\\Temp\\ZPKWork\\プレビュー 1.txt");
    MenuAnchor anchor{reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x0004A2C6)), RECT{3, 40, 211, 59}};
    WString error;
    ASSERT_TRUE(SendHandover(tray, RegisterWindowMessageW(kSiblingMessage), anchor, copy, error))
        << error.ToUtf8().c_str();
    EXPECT_EQ(0, sibling.Wait()) << "the sibling could open and read the block while the notice was sent";
    Bytes expected = ByteBuilder().U32(static_cast<uint32_t>(HandoverLParam(copy))).Get();
    std::vector<uint8_t> block = BuildHandoverBlock(anchor, copy);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(expected, ReadFileBytes(report));

    // The block is gone once the hand-over is done, so the next one can be made.
    ScopedKernelHandle left(OpenFileMappingW(FILE_MAP_READ, FALSE, kHandoverName));
    EXPECT_FALSE(left.IsValid());
    EXPECT_EQ(nullptr, ReadSiblingTray()) << "a registered window that is gone counts as no sibling";
}
