// The menu viewer's speed: from process start to the menu on the screen for
// a ZIP of 100,000 entries in 2,000 folders and for one of 10 entries, and
// the viewer's own steps in this process: reading the archive, listing and
// sorting, building the root menu, opening one folder.
// The same start is measured for bare_menu.exe, an empty program showing a
// popup menu: what the viewer takes beyond it is its own. Last, the plan of
// one folder of 40,000 files against the bare sort of its names.
// Usage: viewer_bench.exe   (ZPKMain.exe, bare_menu.exe and the zlib library
// beside it)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zipfile.h"
#include "archive/zlib_binding.h"
#include "common/paths.h"
#include "viewer/archive_menu.h"
#include "viewer/menu_model.h"

namespace {

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Put16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A stored ZIP of empty files; the menu needs names, not data.
bool WriteNamesOnlyZip(const WString& path, const std::vector<std::string>& names)
{
    std::string local;
    std::string central;
    for (const std::string& name : names) {
        unsigned offset = static_cast<unsigned>(local.size());
        Put32(local, 0x04034b50);
        Put16(local, 10);
        Put16(local, 0);
        Put16(local, 0);
        Put32(local, 0x5A210000);
        Put32(local, 0);
        Put32(local, 0);
        Put32(local, 0);
        Put16(local, static_cast<unsigned>(name.size()));
        Put16(local, 0);
        local += name;
        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 10);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0x5A210000);
        Put32(central, 0);
        Put32(central, 0);
        Put32(central, 0);
        Put16(central, static_cast<unsigned>(name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, name.back() == '/' ? 0x10 : 0x20);
        Put32(central, offset);
        central += name;
    }
    // Counts above 65,535 need the Zip64 end records.
    std::string end;
    Put32(end, 0x06064b50);
    Put32(end, 44);
    Put32(end, 0);
    Put16(end, 45);
    Put16(end, 45);
    Put32(end, 0);
    Put32(end, 0);
    for (unsigned value : {static_cast<unsigned>(names.size()), static_cast<unsigned>(names.size()),
                           static_cast<unsigned>(central.size()), static_cast<unsigned>(local.size())}) {
        Put32(end, value);
        Put32(end, 0);
    }
    Put32(end, 0x07064b50);
    Put32(end, 0);
    Put32(end, static_cast<unsigned>(local.size() + central.size()));
    Put32(end, 0);
    Put32(end, 1);
    Put32(end, 0x06054b50);
    Put32(end, 0);
    Put16(end, 0xFFFF);
    Put16(end, 0xFFFF);
    Put32(end, static_cast<unsigned>(central.size()));
    Put32(end, static_cast<unsigned>(local.size()));
    Put16(end, 0);
    std::string all = local + central + end;
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), all.data(), static_cast<DWORD>(all.size()), &written, nullptr) &&
           written == all.size();
}

struct MenuWindowSearch {
    DWORD processId;
    bool found;
};

BOOL CALLBACK FindMenuOf(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<MenuWindowSearch*>(data);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && wcscmp(name, L"#32768") == 0 && IsWindowVisible(window)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// Seconds from CreateProcess to the viewer's popup menu being visible; -1
// when it did not appear within the limit.
double StartToMenu(const WString& viewer, const WString& archive)
{
    std::wstring line = L"\"" + std::wstring(viewer.c_str()) + L"\"";
    if (!archive.IsEmpty()) {
        line += L" \"" + std::wstring(archive.c_str()) + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    double started = Now();
    if (!CreateProcessW(viewer.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    ScopedKernelHandle process(info.hProcess);
    ScopedKernelHandle thread(info.hThread);
    double seen = -1;
    while (Now() - started < 60) {
        MenuWindowSearch search{info.dwProcessId, false};
        EnumWindows(FindMenuOf, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            seen = Now() - started;
            break;
        }
        if (WaitForSingleObject(process.Get(), 1) != WAIT_TIMEOUT) {
            break;
        }
    }
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 5000);
    return seen;
}

void InProcessSteps(const WString& archive, const wchar_t* label)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WString zlib = JoinPath(ParentDir(WString(self)), WString(ZlibLibraryName()));
    double t0 = Now();
    CZipFile zip(archive, zlib);
    double t1 = Now();
    StringList listing;
    zip.GetEntryNames(listing);
    double t2 = Now();
    ListingIndex index(listing);
    index.Subfolders(WString());
    double t3 = Now();
    ArchiveMenu menu(std::move(index), RootOptions{false, false, archive}, MenuLayout{2, 50});
    menu.Build();
    double t4 = Now();
    HMENU first = GetSubMenu(menu.Root(), 2);
    menu.FillIfPending(first);
    double t5 = Now();
    printf("%-22s entries %7d  reading %7.3f s  listing %7.3f s  grouping and sorting %7.3f s  building %7.3f s  "
           "one folder %7.4f s\n",
           WString(label).ToUtf8().c_str(), listing.Count(), t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4);
    zip.ClearErrorText();
}

// One folder of many files, the level whose size an archive alone decides:
// seconds, best of five, to group the listing and plan the folder's level
// as the menu opens it, and for the bare work inside it, the file names
// copied out of their paths and sorted.
void PlanOneFolder(int files)
{
    const wchar_t kFolder[] = L"big\\";
    StringList listing;
    for (int i = 0; i < files; ++i) {
        listing.Insert(kFolder + WString::FromInt(files - i) + L".dat");
    }
    double plan = 1e9;
    double bare = 1e9;
    for (int round = 0; round < 5; ++round) {
        double started = Now();
        ListingIndex index(listing);
        PlanFolderLevel(index, WString(kFolder), MenuLayout{2, 40});
        double planned = Now();
        std::vector<std::wstring> names;
        names.reserve(listing.Count());
        for (int i = 0; i < listing.Count(); ++i) {
            names.emplace_back(listing[i].c_str() + wcslen(kFolder));
        }
        std::sort(names.begin(), names.end());
        double sorted = Now();
        plan = planned - started < plan ? planned - started : plan;
        bare = sorted - planned < bare ? sorted - planned : bare;
    }
    printf("one folder of %d files: planned %.4f s, names copied and sorted %.4f s, ratio %.2f\n", files, plan, bare,
           plan / bare);
}

}  // namespace

int wmain()
{
    SetConsoleOutputCP(CP_UTF8);
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    WString folder = WString(temp) + L"zpk_viewer_bench";
    CreateDirectoryW(folder.c_str(), nullptr);

    std::vector<std::string> big;
    for (int f = 0; f < 2000; ++f) {
        std::string dir = "folder" + std::to_string(f) + "/";
        big.push_back(dir);
        for (int i = 0; i < 49; ++i) {
            big.push_back(dir + "file" + std::to_string(i) + ".txt");
        }
    }
    std::vector<std::string> small;
    for (int i = 0; i < 10; ++i) {
        small.push_back("file" + std::to_string(i) + ".txt");
    }
    WString bigZip = JoinPath(folder, WString(L"big.zip"));
    WString smallZip = JoinPath(folder, WString(L"small.zip"));
    if (!WriteNamesOnlyZip(bigZip, big) || !WriteNamesOnlyZip(smallZip, small)) {
        printf("cannot write the archives in %s\n", folder.ToUtf8().c_str());
        return 1;
    }

    InProcessSteps(bigZip, L"100,000 in 2,000");
    InProcessSteps(smallZip, L"10 entries");

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WString viewer = JoinPath(ParentDir(WString(self)), WString(L"ZPKMain.exe"));
    WString bare = JoinPath(ParentDir(WString(self)), WString(L"bare_menu.exe"));
    const int kRounds = 3;
    double best[3] = {1e9, 1e9, 1e9};
    double worst[3] = {0, 0, 0};
    for (int round = 0; round < kRounds; ++round) {
        double figures[3] = {StartToMenu(viewer, bigZip), StartToMenu(viewer, smallZip), StartToMenu(bare, WString())};
        printf("process start to menu: 100,000 entries %.3f s, 10 entries %.3f s, bare program %.3f s\n", figures[0],
               figures[1], figures[2]);
        for (int i = 0; i < 3; ++i) {
            best[i] = figures[i] < best[i] ? figures[i] : best[i];
            worst[i] = figures[i] > worst[i] ? figures[i] : worst[i];
        }
    }
    printf("best of %d (spread): 100,000 entries %.3f s (%.3f), 10 entries %.3f s (%.3f), bare program %.3f s (%.3f); "
           "targets 0.5 s and 0.1 s\n",
           kRounds, best[0], worst[0] - best[0], best[1], worst[1] - best[1], best[2], worst[2] - best[2]);
    printf("the viewer's own share beyond the bare program: 100,000 entries %.3f s, 10 entries %.3f s\n",
           best[0] - best[2], best[1] - best[2]);

    PlanOneFolder(40000);
    return 0;
}
