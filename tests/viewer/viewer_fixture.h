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

#include "common/wstring.h"
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

// Runs the viewer in this process for an archive path.
int RunViewerOn(const WString& archive);
