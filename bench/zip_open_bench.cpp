// Opening a large ZIP archive: 100,000 entries in 2,000 folders, the names
// mixed (ASCII in both cases, digits, Japanese) and stored in no particular
// order, as the menu viewer opens it. Prints the time of the engine's open
// (read, decode, synthesise folders, sort, check duplicates) against a bare
// walk of the same central directory.
// Usage: zip_open_bench.exe [entries] [folders] [opens] [walk]
// (more opens make a profile of the open stand out from the setup; "walk"
// lays the archive out as a folder walk writes it instead: each folder's
// entry, then its files, folder after folder)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "common/stringlist.h"

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Put16(std::string& out, uint16_t v) { out.append({static_cast<char>(v), static_cast<char>(v >> 8)}); }

void Put32(std::string& out, uint32_t v)
{
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

std::vector<std::string> Names(int entries, int folders)
{
    const char* words[] = {"Report", "report", "data", "Data_", "\x93\xfa\x96\x7b", "\x83\x74\x83\x40\x83\x43\x83\x8b",
                           "img", "IMG", "a-b", "z9"};
    std::mt19937 random(11);
    std::vector<std::string> folderNames;
    for (int f = 0; f < folders; ++f) {
        std::string name = std::string(words[random() % 10]) + std::to_string(f % 97) + "/" + words[random() % 10] +
                           std::to_string(f) + "/";
        folderNames.push_back(name);
    }
    std::vector<std::string> names;
    for (int i = 0; i < entries; ++i) {
        names.push_back(folderNames[i % folders] + words[random() % 10] + std::to_string(i) + ".txt");
    }
    std::shuffle(names.begin(), names.end(), random);
    return names;
}

// Names as an archiver walking a tree stores them, explicit folder entries
// included: the order the viewer's benchmark uses.
std::vector<std::string> WalkNames(int entries, int folders)
{
    std::vector<std::string> names;
    int perFolder = entries / folders;
    for (int f = 0; f < folders; ++f) {
        std::string folder = "folder" + std::to_string(f) + "/";
        names.push_back(folder);
        for (int i = 1; i < perFolder; ++i) {
            names.push_back(folder + "file" + std::to_string(i) + ".txt");
        }
    }
    return names;
}

std::string BuildArchive(const std::vector<std::string>& names)
{
    std::string local;
    std::string central;
    for (const std::string& name : names) {
        uint32_t offset = static_cast<uint32_t>(local.size());
        Put32(local, zip::kLocalHeaderSignature);
        Put16(local, 10);
        Put16(local, 0);
        Put16(local, 0);
        Put16(local, 0);
        Put16(local, 0x5821);
        Put32(local, 0);
        Put32(local, 0);
        Put32(local, 0);
        Put16(local, static_cast<uint16_t>(name.size()));
        Put16(local, 0);
        local += name;
        Put32(central, zip::kCentralHeaderSignature);
        Put16(central, 20);
        Put16(central, 10);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0x5821);
        Put32(central, 0);
        Put32(central, 0);
        Put32(central, 0);
        Put16(central, static_cast<uint16_t>(name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0x20);
        Put32(central, offset);
        central += name;
    }
    std::string archive = local + central;
    uint32_t count = static_cast<uint32_t>(names.size());
    std::string end;
    Put32(end, zip::kZip64EndRecordSignature);
    end.clear();
    // A Zip64 end record and locator carry the count past 65,535.
    uint64_t directoryOffset = local.size();
    uint64_t recordAt = archive.size();
    Put32(end, zip::kZip64EndRecordSignature);
    Put32(end, 44);
    Put32(end, 0);
    Put16(end, 45);
    Put16(end, 45);
    Put32(end, 0);
    Put32(end, 0);
    Put32(end, count);
    Put32(end, 0);
    Put32(end, count);
    Put32(end, 0);
    Put32(end, static_cast<uint32_t>(central.size()));
    Put32(end, 0);
    Put32(end, static_cast<uint32_t>(directoryOffset));
    Put32(end, 0);
    Put32(end, zip::kZip64LocatorSignature);
    Put32(end, 0);
    Put32(end, static_cast<uint32_t>(recordAt));
    Put32(end, 0);
    Put32(end, 1);
    Put32(end, zip::kEndRecordSignature);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, 0xFFFF);
    Put16(end, 0xFFFF);
    Put32(end, static_cast<uint32_t>(central.size()));
    Put32(end, 0xFFFFFFFF);
    Put16(end, 0);
    return archive + end;
}

// The least any open must do: walk the directory and decode each name.
double BareWalk(const std::string& archive, size_t directoryOffset, size_t count)
{
    double start = Now();
    size_t at = directoryOffset;
    size_t decoded = 0;
    wchar_t buffer[300];
    for (size_t i = 0; i < count; ++i) {
        uint16_t length = static_cast<uint8_t>(archive[at + 28]) | static_cast<uint8_t>(archive[at + 29]) << 8;
        decoded += MultiByteToWideChar(CP_ACP, 0, archive.data() + at + 46, length, buffer, 300);
        at += 46 + length;
    }
    double seconds = Now() - start;
    return decoded > 0 ? seconds : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int entries = argc > 1 ? _wtoi(argv[1]) : 100000;
    int folders = argc > 2 ? _wtoi(argv[2]) : 2000;
    int opens = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    bool walk = argc > 4 && wcscmp(argv[4], L"walk") == 0;
    std::vector<std::string> names = walk ? WalkNames(entries, folders) : Names(entries, folders);
    std::string archive = BuildArchive(names);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    WString path = JoinPath(WString(temp), WString(L"zpk_open_bench.zip"));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    WriteFile(file, archive.data(), static_cast<DWORD>(archive.size()), &done, nullptr);
    CloseHandle(file);
    size_t directoryOffset = 0;
    for (const std::string& name : names) {
        directoryOffset += 30 + name.size();
    }
    double bare = BareWalk(archive, directoryOffset, names.size());
    // Where the time of an open goes: the sort key of every name alone.
    std::vector<WString> decoded;
    for (const std::string& name : names) {
        decoded.push_back(WString::FromAnsi(name.c_str(), static_cast<int>(name.size())));
    }
    double keysStart = Now();
    size_t keyBytes = 0;
    for (const WString& name : decoded) {
        keyBytes += NameSortKey(name.c_str(), name.Length()).size();
    }
    double keys = Now() - keysStart;
    double compareStart = Now();
    int order = 0;
    for (size_t i = 1; i < decoded.size(); ++i) {
        order += CompareNames(decoded[i - 1], decoded[i]) < 0 ? 1 : 0;
    }
    double compares = Now() - compareStart;
    double best = 1e9;
    int listed = 0;
    for (int run = 0; run < opens; ++run) {
        double start = Now();
        CZipFileEnum reader(path, true);
        double seconds = Now() - start;
        best = std::min(best, seconds);
        listed = reader.Entries().Count();
        if (reader.HasError()) {
            wprintf(L"error: %ls\n", reader.ErrorText().c_str());
            reader.ClearErrorText();
        }
    }
    DeleteFileW(path.c_str());
    wprintf(L"entries %d, folders %d, table %d (files and folders)\n", entries, folders, listed);
    wprintf(L"engine open        %.3f s (best of %d; target 0.25 s)\n", best, opens);
    wprintf(L"bare directory walk %.3f s\n", bare);
    wprintf(L"ratio               %.1f\n", bare > 0 ? best / bare : 0.0);
    wprintf(L"sort keys of all names %.3f s (%zu bytes); %zu name comparisons %.3f s (%d ascending)\n", keys,
            keyBytes, decoded.size() - 1, compares, order);
    return 0;
}
