#include "viewer_fixture.h"

#include <memory>

#include "archive/cabfile.h"
#include "archive/work_copies.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "common/system.h"
#include "support/window_driver.h"
#include "viewer/viewer.h"
#include "viewer_ids.h"

namespace {

// Source files for the engine, each in a folder of its own so that its
// name can be the entry's last component.
WString StageFile(const WString& stage, int index, const std::wstring& entry, const std::string& content)
{
    WString folder = JoinPath(stage, WString::FromInt(index));
    CreateDirectoryW(folder.c_str(), nullptr);
    WString leaf = FileNamePart(WString(entry.c_str()));
    WString file = JoinPath(folder, leaf);
    WriteFileText(file, content);
    return file;
}

}  // namespace

bool MakeZip(const WString& path, const ArchiveItems& items)
{
    WString stage = path + L".stage";
    CreateDirectoryW(stage.c_str(), nullptr);
    bool ok = true;
    {
        CZipFile zip(path, ZlibBesideProgram());
        int index = 0;
        for (const auto& item : items) {
            WString entry(item.first.c_str());
            if (entry.Last() == L'\\') {
                WString folder = JoinPath(stage, WString::FromInt(++index));
                CreateDirectoryW(folder.c_str(), nullptr);
                WString named = JoinPath(folder, FileNamePart(entry.Left(entry.Length() - 1)));
                CreateDirectoryW(named.c_str(), nullptr);
                ok = ok && zip.Add(named, ParentDir(entry.Left(entry.Length() - 1)), -1);
                continue;
            }
            WString file = StageFile(stage, ++index, item.first, item.second);
            ok = ok && zip.Add(file, ParentDir(entry), -1);
        }
        ok = ok && zip.Commit();
    }
    RemoveTree(stage);
    return ok && PathExists(path);
}

bool MakeCab(const WString& path, const ArchiveItems& items)
{
    WString stage = path + L".stage";
    CreateDirectoryW(stage.c_str(), nullptr);
    for (const auto& item : items) {
        WString file = JoinPath(stage, WString(item.first.c_str()));
        CreateDirectoryTree(ParentDir(file), true);
        WriteFileText(file, item.second);
    }
    bool ok = false;
    {
        CCabFile cab(path);
        ok = cab.SilentCompress(path, stage);
        cab.ClearErrorText();
    }
    RemoveTree(stage);
    return ok && PathExists(path);
}

std::string EntryContent(const WString& archive, const std::wstring& entry)
{
    WString out = archive + L".out";
    RemoveTree(out);
    CreateDirectoryW(out.c_str(), nullptr);
    std::unique_ptr<CArcFile> reader;
    if (CArcFile::ArchiveKindOf(archive) == kZipArchive) {
        reader = std::make_unique<CZipFile>(archive, ZlibBesideProgram());
    } else {
        reader = std::make_unique<CCabFile>(archive);
    }
    std::string content = "<missing>";
    if (!reader->HasError() && reader->Extract(out, WString(entry.c_str()), false)) {
        Bytes bytes = ReadFileBytes(JoinPath(out, FileNamePart(WString(entry.c_str()))));
        content.assign(bytes.begin(), bytes.end());
    }
    reader->ClearErrorText();
    reader.reset();
    RemoveTree(out);
    return content;
}

MenuDriver::MenuDriver(std::vector<WORD> keys)
{
    thread_ = std::thread([this, keys] {
        ULONGLONG deadline = GetTickCount64() + 20000;
        HWND menu = nullptr;
        while (!stop_ && GetTickCount64() < deadline) {
            menu = FindWindowW(L"#32768", nullptr);
            if (menu && IsWindowVisible(menu)) {
                break;
            }
            menu = nullptr;
            Sleep(50);
        }
        if (!menu) {
            return;
        }
        sawMenu_ = true;
        Sleep(400);
        for (WORD key : keys) {
            if (stop_) {
                return;
            }
            INPUT input[2] = {};
            input[0].type = INPUT_KEYBOARD;
            input[0].ki.wVk = key;
            input[1] = input[0];
            input[1].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(2, input, sizeof(INPUT));
            Sleep(250);
        }
    });
}

MenuDriver::~MenuDriver()
{
    stop_ = true;
    thread_.join();
}

StandInInstall::StandInInstall(const WString& folder) : folder_(folder)
{
    CreateDirectoryW(folder_.c_str(), nullptr);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WString recorder = JoinPath(ParentDir(WString(self)), WString(L"viewer_stand_in.exe"));
    CopyFileW(recorder.c_str(), JoinPath(folder_, WString(L"ZPKSet.exe")).c_str(), FALSE);
    WString zlib = ZlibBesideProgram();
    CopyFileW(zlib.c_str(), JoinPath(folder_, FileNamePart(zlib)).c_str(), FALSE);
}

WString StandInInstall::Recorder() const { return JoinPath(folder_, WString(L"ZPKSet.exe")); }

std::wstring StandInInstall::WaitForArguments(DWORD milliseconds) const
{
    WString path = JoinPath(folder_, WString(L"args.txt"));
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (GetTickCount64() < deadline) {
        Bytes bytes = ReadFileBytes(path);
        if (!bytes.empty() && bytes.back() == '\n') {
            std::string text(bytes.begin(), bytes.end() - 1);
            return WString::FromUtf8(text.c_str()).c_str();
        }
        Sleep(100);
    }
    return std::wstring();
}

int RunViewerOn(const WString& archive) { return RunViewer(L"ZPKMain.exe \"" + archive + L"\""); }

HWND FindStoreWindow()
{
    HWND window = FindDialogOf(GetCurrentProcessId());
    return window && FindChildWithText(window, L"編集が終わったら［格納］を押してください") ? window : nullptr;
}

HWND WaitForStoreWindow(DWORD milliseconds)
{
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        HWND window = FindStoreWindow();
        if (window) {
            return window;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

UnexpectedStoreWindow::UnexpectedStoreWindow()
{
    thread_ = std::thread([this] {
        while (!stop_) {
            HWND window = FindStoreWindow();
            if (window) {
                appeared_ = true;
                PressButton(window, IDC_STORE_DISCARD);
            }
            Sleep(200);
        }
    });
}

UnexpectedStoreWindow::~UnexpectedStoreWindow()
{
    stop_ = true;
    thread_.join();
}

WString WorkCopy(const std::wstring& name)
{
    WString work = WorkFolderPath();
    AttrStringList items(false);
    ListDirectory(work, items, WString(L"*"));
    WString newest;
    long long newestNumber = -1;
    for (int i = 0; i < items.Count(); ++i) {
        WorkSlot slot;
        const WString& folder = items.Name(i);
        if (!(items.ValueAt(i) & FILE_ATTRIBUTE_DIRECTORY) || !slot.Open(JoinPath(work, folder)) ||
            !(slot.Record().copyName == WString(name.c_str())) || !PathExists(slot.CopyPath())) {
            continue;
        }
        // Slots are numbered in the order a process makes them.
        long long number = _wtoi64(folder.From(folder.FindLast(L'-') + 1).c_str());
        if (number > newestNumber) {
            newestNumber = number;
            newest = slot.CopyPath();
        }
    }
    return newest;
}

ViewerRunFixture::ViewerRunFixture() : install_(scratch_ / L"install")
{
    settings_.SetText(L"InstallDir", install_.Folder());
    settings_.Set(L"MenuOverFlow", 2);
    settings_.Set(L"EDOpen", 0);
}

std::vector<std::wstring> ViewerRunFixture::Texts() const
{
    std::vector<std::wstring> texts;
    for (const auto& prompt : prompts_.Prompts()) {
        texts.push_back(prompt.text);
    }
    return texts;
}
