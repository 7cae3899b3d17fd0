// Compares the CAB engine with bare cabinet library loops on the same files,
// from one run:
// - folder compression (the stored settings: MSZIP, units as the library
//   forms them) into a new cabinet, against a loop that hands the same files
//   in the same order to FCI with the same cabinet parameters, with
//   callbacks that only open, read, write and seek;
// - whole-cabinet extraction, against a loop that runs FDICopy and writes
//   every file as any extraction must (its folder, the file, its time and
//   attributes).
// Both sides produce the same unit layout; the unit counts are printed. The
// engine's compression ends with a deliberate 500 ms pause that shows
// "完了"; the ratios are given with and without it.
// Usage: cab_bench.exe [megabytes]   (default 60)
#include <windows.h>
#include <fci.h>
#include <fdi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/cab_records.h"
#include "archive/cabfile.h"
#include "bench/bench_support.h"
#include "common/paths.h"

using namespace bench;

namespace {

const double kDonePause = 0.5;

// The bare callbacks: nothing beyond what the library needs.
namespace bare {

void* DIAMONDAPI Allocate(ULONG size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void DIAMONDAPI Release(void* block) { HeapFree(GetProcessHeap(), 0, block); }

INT_PTR DIAMONDAPI FciOpen(char* name, int, int, int* error, void*)
{
    WString path = WString::FromAnsi(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    *error = file == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0;
    return reinterpret_cast<INT_PTR>(file);
}

UINT DIAMONDAPI FciRead(INT_PTR file, void* buffer, UINT count, int* error, void*)
{
    if (file == -1) {
        *error = 0;
        return 0;
    }
    DWORD done = 0;
    *error = ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr) ? 0 : 1;
    return done;
}

UINT DIAMONDAPI FciWrite(INT_PTR file, void* buffer, UINT count, int* error, void*)
{
    DWORD done = 0;
    *error = WriteFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr) ? 0 : 1;
    return done;
}

int DIAMONDAPI FciClose(INT_PTR file, int* error, void*)
{
    *error = 0;
    return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 0 : -1;
}

LONG DIAMONDAPI FciSeek(INT_PTR file, LONG distance, int origin, int* error, void*)
{
    *error = 0;
    if (file == -1) {
        return 0;
    }
    return static_cast<LONG>(SetFilePointer(reinterpret_cast<HANDLE>(file), distance, nullptr, origin));
}

int DIAMONDAPI FciDelete(char* name, int* error, void*)
{
    *error = 0;
    DeleteFileW(WString::FromAnsi(name).c_str());
    return 0;
}

BOOL DIAMONDAPI FciTempName(char* buffer, int size, void*)
{
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    GetTempFileNameW(folder, L"cab", 0, name);
    AString text = WString(name).ToAnsi();
    if (text.Length() + 1 > size) {
        return FALSE;
    }
    memcpy(buffer, text.c_str(), text.Length() + 1);
    return TRUE;
}

int DIAMONDAPI FciPlaced(PCCAB, char*, LONG, BOOL, void*) { return 0; }
LONG DIAMONDAPI FciStatus(UINT, ULONG, ULONG, void*) { return 0; }
BOOL DIAMONDAPI FciNext(PCCAB, ULONG, void*) { return TRUE; }

INT_PTR DIAMONDAPI FciOpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attributes, int* error, void*)
{
    HANDLE file = CreateFileW(WString::FromAnsi(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    *error = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    FILETIME local{};
    GetFileInformationByHandle(file, &info);
    FileTimeToLocalFileTime(&info.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, date, time);
    *attributes = static_cast<USHORT>(info.dwFileAttributes & 0x27);
    return reinterpret_cast<INT_PTR>(file);
}

INT_PTR DIAMONDAPI FdiOpen(char* name, int, int)
{
    return reinterpret_cast<INT_PTR>(CreateFileW(WString::FromAnsi(name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

UINT DIAMONDAPI FdiRead(INT_PTR file, void* buffer, UINT count)
{
    DWORD done = 0;
    return ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr) ? done : static_cast<UINT>(-1);
}

UINT DIAMONDAPI FdiWrite(INT_PTR file, void* buffer, UINT count)
{
    DWORD done = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr) ? done : static_cast<UINT>(-1);
}

int DIAMONDAPI FdiClose(INT_PTR file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 0 : -1; }

LONG DIAMONDAPI FdiSeek(INT_PTR file, LONG distance, int origin)
{
    return static_cast<LONG>(SetFilePointer(reinterpret_cast<HANDLE>(file), distance, nullptr, origin));
}

WString g_root;
WString g_openPath;

INT_PTR DIAMONDAPI FdiNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notice)
{
    if (type == fdintCOPY_FILE) {
        g_openPath = g_root + WString::FromAnsi(notice->psz1);
        WString parent = ParentDir(g_openPath);
        if (!PathExists(parent)) {
            CreateDirectoryTree(parent, true);
        }
        return reinterpret_cast<INT_PTR>(CreateFileW(g_openPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (type == fdintCLOSE_FILE_INFO) {
        FILETIME local{}, utc{};
        DosDateTimeToFileTime(notice->date, notice->time, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE file = reinterpret_cast<HANDLE>(notice->hf);
        SetFileTime(file, &utc, nullptr, &utc);
        CloseHandle(file);
        DWORD attributes = notice->attribs & 0x27;
        SetFileAttributesW(g_openPath.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        return TRUE;
    }
    return 0;
}

}  // namespace bare

// The files below folder in the order the engine's walk meets them, with
// their names inside the cabinet.
void ListTree(const WString& folder, const WString& prefix, std::vector<WString>& paths, std::vector<WString>& names)
{
    AttrStringList items(false);
    ListDirectory(folder, items, WString(L"*"));
    for (int i = 0; i < items.Count(); ++i) {
        WString path = JoinPath(folder, items.Name(i));
        if (items.ValueAt(i) & FILE_ATTRIBUTE_DIRECTORY) {
            ListTree(path, prefix + items.Name(i) + L"\\", paths, names);
        } else {
            paths.push_back(path);
            names.push_back(prefix + items.Name(i));
        }
    }
}

bool BareCompress(const CCAB& engineParameters, const std::vector<WString>& paths, const std::vector<WString>& names,
                  uint16_t typeCompress)
{
    CCAB parameters = engineParameters;
    ERF error{};
    HFCI context = FCICreate(&error, bare::FciPlaced, bare::Allocate, bare::Release, bare::FciOpen, bare::FciRead,
                             bare::FciWrite, bare::FciClose, bare::FciSeek, bare::FciDelete, bare::FciTempName,
                             &parameters, nullptr);
    if (!context) {
        return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < paths.size(); ++i) {
        AString source = paths[i].ToAnsi();
        AString name = names[i].ToAnsi();
        ok = FCIAddFile(context, const_cast<char*>(source.c_str()), const_cast<char*>(name.c_str()), FALSE,
                        bare::FciNext, bare::FciStatus, bare::FciOpenInfo, typeCompress) != FALSE;
    }
    ok = ok && FCIFlushCabinet(context, FALSE, bare::FciNext, bare::FciStatus);
    FCIDestroy(context);
    return ok;
}

bool BareExtract(const WString& cabinet, const WString& destination)
{
    ERF error{};
    HFDI context = FDICreate(bare::Allocate, bare::Release, bare::FdiOpen, bare::FdiRead, bare::FdiWrite,
                             bare::FdiClose, bare::FdiSeek, cpu80386, &error);
    if (!context) {
        return false;
    }
    CreateDirectoryW(destination.c_str(), nullptr);
    bare::g_root = destination + L"\\";
    AString name = FileNamePart(cabinet).ToAnsi();
    AString folder = (ParentDir(cabinet) + L"\\").ToAnsi();
    BOOL ok = FDICopy(context, const_cast<char*>(name.c_str()), const_cast<char*>(folder.c_str()), 0,
                      bare::FdiNotify, nullptr, nullptr);
    FDIDestroy(context);
    return ok != FALSE;
}

int UnitCount(const WString& cabinet)
{
    std::string bytes = ReadBytes(cabinet);
    if (bytes.size() < sizeof(cab::Header)) {
        return -1;
    }
    cab::Header header{};
    memcpy(&header, bytes.data(), sizeof header);
    return header.cFolders;
}

void PrintRatio(const char* what, const Span& engine, const Span& loop)
{
    printf("    %-42s %.3f (wall), %.3f (cpu)\n", what, engine.wall / loop.wall, engine.cpu / loop.cpu);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    size_t megabytes = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 60;
    WString work = FreshWorkFolder(L"zpkcabbench");
    WString corpus = JoinPath(work, WString(L"corpus"));
    std::vector<WString> files = MakeCorpus(corpus, megabytes);
    printf("corpus: %u files, about %u MB\n", static_cast<unsigned>(files.size()), static_cast<unsigned>(megabytes));

    std::vector<WString> paths;
    std::vector<WString> names;
    ListTree(corpus, WString(), paths, names);
    Stopwatch watch;

    // The engine as the folder compression of the setup tool runs it:
    // progress window, busy cursor, the pause at the end.
    WString engineCab = JoinPath(work, WString(L"engine.cab"));
    WarmUp(files);
    watch.Start();
    CCAB parameters{};
    uint16_t typeCompress = 0;
    {
        CCabFile cabinet(engineCab);
        parameters = cabinet.Parameters();
        typeCompress = cabinet.CompressionType();
        if (!cabinet.Add(corpus, WString(), 102)) {
            printf("engine compression failed\n");
            return 1;
        }
    }
    Span engineCompress = watch.Stop();

    // The engine without progress, as a commit compresses.
    WString silentCab = JoinPath(work, WString(L"silent.cab"));
    WarmUp(files);
    watch.Start();
    {
        CCabFile cabinet(silentCab);
        if (!cabinet.SilentCompress(silentCab, corpus)) {
            printf("silent compression failed\n");
            return 1;
        }
    }
    Span silentCompress = watch.Stop();

    // The bare loop writes its cabinet where the engine wrote its own.
    WString bareCab = JoinPath(work, WString(L"bare.cab"));
    AString bareName = FileNamePart(bareCab).ToAnsi();
    CCAB bareParameters = parameters;
    memcpy(bareParameters.szCab, bareName.c_str(), bareName.Length() + 1);
    WarmUp(files);
    watch.Start();
    if (!BareCompress(bareParameters, paths, names, typeCompress)) {
        printf("bare compression failed\n");
        return 1;
    }
    Span bareCompress = watch.Stop();

    // For comparison: the same loop with everything in one unit.
    WString oneUnitCab = JoinPath(work, WString(L"oneunit.cab"));
    AString oneUnitName = FileNamePart(oneUnitCab).ToAnsi();
    CCAB oneUnitParameters = parameters;
    memcpy(oneUnitParameters.szCab, oneUnitName.c_str(), oneUnitName.Length() + 1);
    oneUnitParameters.cbFolderThresh = 0x7FFFFFFF;
    WarmUp(files);
    watch.Start();
    if (!BareCompress(oneUnitParameters, paths, names, typeCompress)) {
        printf("bare compression failed\n");
        return 1;
    }
    Span oneUnitCompress = watch.Stop();

    WString engineOut = JoinPath(work, WString(L"x_engine"));
    WarmUp(std::vector<WString>{bareCab});
    watch.Start();
    {
        CCabFile cabinet(bareCab);
        if (!cabinet.Extract(engineOut, WString(), false)) {
            printf("engine extraction failed\n");
            return 1;
        }
    }
    Span engineExtract = watch.Stop();

    WString bareOut = JoinPath(work, WString(L"x_bare"));
    WarmUp(std::vector<WString>{bareCab});
    watch.Start();
    if (!BareExtract(bareCab, bareOut)) {
        printf("bare extraction failed\n");
        return 1;
    }
    Span bareExtract = watch.Stop();

    printf("units: engine %d, silent engine %d, bare loop %d, one-unit loop %d; sizes %.1f / %.1f / %.1f / %.1f MB\n",
           UnitCount(engineCab), UnitCount(silentCab), UnitCount(bareCab), UnitCount(oneUnitCab),
           ReadBytes(engineCab).size() / 1e6, ReadBytes(silentCab).size() / 1e6, ReadBytes(bareCab).size() / 1e6,
           ReadBytes(oneUnitCab).size() / 1e6);
    printf("compress (whole folder into a new cabinet, type word 0x%04x)\n", typeCompress);
    PrintLine("loop: FCIAddFile per file, FCIFlushCabinet", bareCompress);
    PrintLine("engine, progress window (as the setup tool)", engineCompress);
    PrintLine("engine, silent (as a commit)", silentCompress);
    PrintLine("loop with every file in one unit", oneUnitCompress);
    Span withoutPause{engineCompress.wall - kDonePause, engineCompress.cpu};
    PrintRatio("ratio engine / loop", engineCompress, bareCompress);
    PrintRatio("ratio engine without the 500 ms pause / loop", withoutPause, bareCompress);
    PrintRatio("ratio silent engine / loop", silentCompress, bareCompress);
    PrintRatio("ratio engine / one-unit loop", engineCompress, oneUnitCompress);
    printf("extract (whole cabinet into a new folder)\n");
    PrintLine("loop: FDICopy writing every file", bareExtract);
    PrintLine("engine", engineExtract);
    PrintRatio("ratio engine / loop", engineExtract, bareExtract);
    CArcFile::DeleteFolderContents(work);
    RemoveDirectoryW(work.c_str());
    return 0;
}
