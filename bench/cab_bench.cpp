// Compares the CAB engine with bare cabinet library loops on the same files,
// from one run:
// - folder compression (the stored settings: MSZIP, units as the library
//   forms them) into a new cabinet, against a loop that hands the same files
//   in the same order to FCI with the same cabinet parameters, with
//   callbacks that only open, read, write and seek;
// - whole-cabinet extraction, against a loop that runs FDICopy and writes
//   every file as any extraction must (its folder, the file, its time and
//   attributes); the engine's figure includes its check of every data
//   block beforehand (checksums, and the MSZIP unit decoded once by zlib).
// Both sides produce the same unit layout; the unit counts are printed, and
// the loop runs once more with a unit per file, the layout a threshold of 0
// gives. The engine's compression ends with a deliberate 500 ms pause that
// shows "完了"; the ratios are given with and without it.
// Every step runs in each of several rounds, one after another, and the
// best time of each is kept, so that other load on the machine counts less.
// Usage: cab_bench.exe [megabytes [rounds]]   (default 30 MB, 3 rounds)
#include <windows.h>
#include <fci.h>
#include <fdi.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "archive/cab_layout.h"
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

// The check that the engine's extraction runs before the library decodes:
// every data block of every unit, checksums included, MSZIP units decoded
// once by zlib. The folder records follow the header directly in the
// cabinets of the bare loop.
bool CheckBlocks(const WString& cabinet, const ZlibBinding& zlib)
{
    CCabFileEnum reader(cabinet);
    ScopedFile file(CreateFileW(cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    const cab::Header& header = reader.HeaderCopy();
    LARGE_INTEGER size{};
    if (!file || reader.HasError() || (header.flags & cab::kFlagReservePresent) ||
        !GetFileSizeEx(file.Get(), &size)) {
        return false;
    }
    for (unsigned i = 0; i < header.cFolders; ++i) {
        cab::Folder folder{};
        DWORD got = 0;
        WString fault;
        if (!reader.SeekTo(file.Get(), sizeof header + i * sizeof folder, "CFFOLDER") ||
            !reader.ReadBlock(file.Get(), &folder, sizeof folder, "CFFOLDER", &got) || got != sizeof folder ||
            !cablayout::CheckDataBlocks(reader, file.Get(), static_cast<uint64_t>(size.QuadPart), i, folder, 0,
                                        cablayout::BlockCheck::kChecksums, &zlib, fault)) {
            return false;
        }
    }
    return true;
}

void PrintRatio(const char* what, const Span& engine, const Span& loop)
{
    printf("    %-42s %.3f (wall), %.3f (cpu)\n", what, engine.wall / loop.wall, engine.cpu / loop.cpu);
}

// The best of several rounds of one step, wall and processor time each.
struct Best {
    Span best{1e30, 1e30};
    void Take(const Span& span)
    {
        best.wall = span.wall < best.wall ? span.wall : best.wall;
        best.cpu = span.cpu < best.cpu ? span.cpu : best.cpu;
    }
};

WString Renamed(const WString& path, const wchar_t* name) { return JoinPath(ParentDir(path), WString(name)); }

CCAB WithCabinetName(const CCAB& parameters, const WString& cabinet)
{
    CCAB renamed = parameters;
    AString name = FileNamePart(cabinet).ToAnsi();
    memcpy(renamed.szCab, name.c_str(), name.Length() + 1);
    return renamed;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    size_t megabytes = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 30;
    int rounds = argc > 2 ? _wtoi(argv[2]) : 3;
    WString work = FreshWorkFolder(L"zpkcabbench");
    WString corpus = JoinPath(work, WString(L"corpus"));
    std::vector<WString> files = MakeCorpus(corpus, megabytes);
    printf("corpus: %u files, about %u MB; best of %d rounds, the steps of a round one after another\n",
           static_cast<unsigned>(files.size()), static_cast<unsigned>(megabytes), rounds);

    std::vector<WString> paths;
    std::vector<WString> names;
    ListTree(corpus, WString(), paths, names);
    WString engineCab = JoinPath(work, WString(L"engine.cab"));
    CCAB parameters{};
    uint16_t typeCompress = 0;
    {
        CCabFile cabinet(engineCab);
        parameters = cabinet.Parameters();
        typeCompress = cabinet.CompressionType();
    }
    Best engineCompress, silentCompress, bareCompress, perFileCompress, collecting;
    Best engineExtract, bareExtract, opening, checking;
    ZlibBinding zlib;
    if (!zlib.Load(ZlibBesideProgram()) || !zlib.Bind()) {
        printf("zlib cannot be loaded\n");
        return 1;
    }
    Stopwatch watch;
    auto measure = [&](Best& best, const std::function<bool()>& step, const char* what) {
        watch.Start();
        bool ok = step();
        best.Take(watch.Stop());
        if (!ok) {
            printf("%s failed\n", what);
        }
        return ok;
    };
    WString silentCab = Renamed(engineCab, L"silent.cab");
    WString bareCab = Renamed(engineCab, L"bare.cab");
    WString perFileCab = Renamed(engineCab, L"perfile.cab");
    CCAB perFileParameters = WithCabinetName(parameters, perFileCab);
    perFileParameters.cbFolderThresh = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const WString& cabinet : {engineCab, silentCab, bareCab, perFileCab}) {
            DeleteFileW(cabinet.c_str());
        }
        WarmUp(files);
        bool ok = measure(bareCompress, [&] { return BareCompress(WithCabinetName(parameters, bareCab), paths, names,
                                                                   typeCompress); }, "bare compression");
        // The engine as the folder compression of the setup tool runs it:
        // progress window, busy cursor, the pause at the end.
        ok = ok && measure(engineCompress, [&] {
            CCabFile cabinet(engineCab);
            return cabinet.Add(corpus, WString(), 102);
        }, "engine compression");
        // The engine without progress, as a commit compresses.
        ok = ok && measure(silentCompress, [&] {
            CCabFile cabinet(silentCab);
            return cabinet.SilentCompress(silentCab, corpus);
        }, "silent compression");
        ok = ok && measure(perFileCompress, [&] { return BareCompress(perFileParameters, paths, names, typeCompress); },
                           "per-file compression");
        // The part of the engine's compression that collects every file's
        // size for the progress (it opens each file).
        ok = ok && measure(collecting, [&] {
            CCabFile cabinet(Renamed(engineCab, L"unused.cab"));
            return cabinet.CollectFiles(corpus);
        }, "collecting");
        WString engineOut = JoinPath(work, L"x_engine" + WString::FromInt(round));
        WString bareOut = JoinPath(work, L"x_bare" + WString::FromInt(round));
        ok = ok && measure(bareExtract, [&] { return BareExtract(bareCab, bareOut); }, "bare extraction");
        ok = ok && measure(engineExtract, [&] {
            CCabFile cabinet(bareCab);
            return cabinet.Extract(engineOut, WString(), false);
        }, "engine extraction");
        ok = ok && measure(opening, [&] {
            CCabFile cabinet(bareCab);
            return !cabinet.HasError();
        }, "opening");
        ok = ok && measure(checking, [&] { return CheckBlocks(bareCab, zlib); }, "checking");
        CArcFile::DeleteFolderContents(engineOut);
        CArcFile::DeleteFolderContents(bareOut);
        RemoveDirectoryW(engineOut.c_str());
        RemoveDirectoryW(bareOut.c_str());
        if (!ok) {
            return 1;
        }
    }

    printf("units: engine %d, silent engine %d, bare loop %d, per-file loop %d; sizes %.1f / %.1f / %.1f / %.1f MB\n",
           UnitCount(engineCab), UnitCount(silentCab), UnitCount(bareCab), UnitCount(perFileCab),
           ReadBytes(engineCab).size() / 1e6, ReadBytes(silentCab).size() / 1e6, ReadBytes(bareCab).size() / 1e6,
           ReadBytes(perFileCab).size() / 1e6);
    printf("compress (whole folder into a new cabinet, type word 0x%04x, unit threshold %lu)\n", typeCompress,
           static_cast<unsigned long>(parameters.cbFolderThresh));
    PrintLine("loop: FCIAddFile per file, FCIFlushCabinet", bareCompress.best);
    PrintLine("engine, progress window (as the setup tool)", engineCompress.best);
    PrintLine("  of which collecting the sizes", collecting.best);
    PrintLine("engine, silent (as a commit)", silentCompress.best);
    PrintLine("loop, threshold 0: a unit per file (as before)", perFileCompress.best);
    Span withoutPause{engineCompress.best.wall - kDonePause, engineCompress.best.cpu};
    PrintRatio("ratio engine / loop", engineCompress.best, bareCompress.best);
    PrintRatio("ratio engine without the 500 ms pause / loop", withoutPause, bareCompress.best);
    PrintRatio("ratio silent engine / loop", silentCompress.best, bareCompress.best);
    PrintRatio("ratio per-file loop / loop", perFileCompress.best, bareCompress.best);
    printf("extract (whole cabinet into a new folder)\n");
    PrintLine("loop: FDICopy writing every file", bareExtract.best);
    PrintLine("engine", engineExtract.best);
    PrintLine("  of which opening the cabinet (directory, extents)", opening.best);
    PrintLine("  of which checking the blocks (checksums, MSZIP decoded by zlib)", checking.best);
    PrintRatio("ratio engine / loop", engineExtract.best, bareExtract.best);
    CArcFile::DeleteFolderContents(work);
    RemoveDirectoryW(work.c_str());
    return 0;
}
