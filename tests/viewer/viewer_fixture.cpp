#include "viewer_fixture.h"

#include <memory>

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "common/system.h"
#include "support/child_process.h"
#include "support/window_driver.h"
#include "viewer/store_wait.h"
#include "viewer/viewer.h"
#include "viewer_ids.h"

namespace {

// Long enough for the viewer to take the editor's end as the end of an
// edit, not as a hand-over to a program that was already running.
const DWORD kEditingTime = kQuickEditorMilliseconds + 500;
const DWORD kSignalWait = 30000;

// The stand-in editor: the first line of the file says what to do.
//   change          append a line
//   same            write the same bytes again (a new time, no new content)
//   vanish          delete the file
//   swap|A|B        copy archive A over archive B, then append a line
//   signal|NAME     wait for the named event, then append a line
const bool kEditorRegistered = RegisterChildRole(L"editor", [](const std::vector<std::wstring>& arguments) {
    WString path(arguments.at(0).c_str());
    Bytes bytes = ReadFileBytes(path);
    std::string text(bytes.begin(), bytes.end());
    std::string command = text.substr(0, text.find('\n'));
    Sleep(300);
    if (command == "vanish") {
        Sleep(kEditingTime);
        return DeleteFileW(path.c_str()) ? 0 : 2;
    }
    if (command == "same") {
        Sleep(kEditingTime);
        return WriteFileBytes(path, bytes) ? 0 : 2;
    }
    if (command.rfind("signal|", 0) == 0) {
        WString name = WString::FromUtf8(command.substr(7).c_str());
        ScopedKernelHandle event(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
        if (!event || WaitForSingleObject(event.Get(), kSignalWait) != WAIT_OBJECT_0) {
            return 4;
        }
    }
    if (command.rfind("swap|", 0) == 0) {
        size_t bar = command.find('|', 5);
        WString from = WString::FromUtf8(command.substr(5, bar - 5).c_str());
        WString to = WString::FromUtf8(command.substr(bar + 1).c_str());
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            return 3;
        }
    }
    return WriteFileText(path, text + "edited\n") ? 0 : 2;
});

// The stand-in launcher: starts the editor in a process of its own with the
// file and ends without waiting for it.
const bool kLauncherRegistered = RegisterChildRole(L"launcher", [](const std::vector<std::wstring>& arguments) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --zpk-child-role=editor \"" + arguments.at(0) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return 2;
    }
    ScopedKernelHandle process(started.hProcess);
    ScopedKernelHandle thread(started.hThread);
    return 0;
});

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

StandInEditor::StandInEditor(const std::wstring& role, const std::wstring& extensionStem)
{
    extension_ = extensionStem + std::to_wstring(GetCurrentProcessId());
    progId_ = L"ZupakoTest" + role + std::to_wstring(GetCurrentProcessId());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --zpk-child-role=" + role + L" \"%1\"";
    RegSetValueW(HKEY_CLASSES_ROOT, extension_.c_str(), REG_SZ, progId_.c_str(),
                 static_cast<DWORD>(progId_.size() * sizeof(wchar_t)));
    RegSetValueW(HKEY_CLASSES_ROOT, (progId_ + L"\\shell\\open\\command").c_str(), REG_SZ, command.c_str(),
                 static_cast<DWORD>(command.size() * sizeof(wchar_t)));
}

StandInEditor::~StandInEditor()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
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
