// What the viewer's end-to-end tests share: archives made by the engine, a
// driver thread that works the open menu with real key presses, and an
// install folder with a stand-in ZPKSet.exe that records its arguments.
// The stand-in editor comes from the test support.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/wstring.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/stand_in_editor.h"
#include "support/test_files.h"

using ArchiveItems = std::vector<std::pair<std::wstring, std::string>>;

// A ZIP or CAB archive with the given entries (backslash paths; a path
// ending in a backslash is an empty folder in a ZIP), made by the engine.
bool MakeZip(const WString& path, const ArchiveItems& items);
bool MakeCab(const WString& path, const ArchiveItems& items);
// The content of one entry, read back through the engine; "<missing>"
// when it cannot be extracted.
std::string EntryContent(const WString& archive, const std::wstring& entry);

// Presses keys in the open menu once it is on screen: waits for the popup
// menu window, then sends each virtual key down and up with SendInput.
class MenuDriver {
public:
    explicit MenuDriver(std::vector<WORD> keys);
    ~MenuDriver();
    MenuDriver(const MenuDriver&) = delete;
    MenuDriver& operator=(const MenuDriver&) = delete;
    bool SawMenu() const { return sawMenu_; }

private:
    std::atomic<bool> sawMenu_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// An install folder with the zlib library and the stand-in ZPKSet.exe.
class StandInInstall {
public:
    explicit StandInInstall(const WString& folder);
    const WString& Folder() const { return folder_; }
    WString Recorder() const;
    // Waits until the stand-in has written a line, then returns everything it
    // recorded (its command lines after the program); empty on timeout.
    std::wstring WaitForArguments(DWORD milliseconds = 15000) const;

private:
    WString folder_;
};

// The newest copy of that name that the viewer put in the work folder;
// empty when there is none.
WString WorkCopy(const std::wstring& name);

// Runs the viewer in this process for an archive path.
int RunViewerOn(const WString& archive);

// The window that waits for an edit handed to a running program, when this
// process shows it now; null otherwise.
HWND FindStoreWindow();
HWND WaitForStoreWindow(DWORD milliseconds = 20000);

// For tests that expect no store window: one that comes up while this
// lives is ended with 破棄 and remembered, so that the test fails instead of
// waiting for a click.
class UnexpectedStoreWindow {
public:
    UnexpectedStoreWindow();
    ~UnexpectedStoreWindow();
    UnexpectedStoreWindow(const UnexpectedStoreWindow&) = delete;
    UnexpectedStoreWindow& operator=(const UnexpectedStoreWindow&) = delete;
    bool Appeared() const { return appeared_; }

private:
    std::atomic<bool> appeared_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What the viewer's whole runs share: private settings that name a stand-in
// install folder, a scratch folder, the stand-in editor, and the prompts
// recorded and answered from a script.
class ViewerRunFixture : public testing::Test {
protected:
    ViewerRunFixture();

    WString Path(const wchar_t* name) { return scratch_ / name; }
    std::wstring Ext() const { return editor_.Extension(); }
    std::wstring Named(const std::wstring& stem) const { return stem + editor_.Extension(); }
    std::vector<std::wstring> Texts() const;

    ScratchFolder scratch_;
    PrivateSettings settings_;
    StandInInstall install_;
    StandInEditor editor_;
    PromptRecorder prompts_;
};
