// The verbs of arctool that only cabinets have: the merge of two cabinets,
// and the check of every data block's checksum, which compares the engine's
// checksum function with what other tools write.
#include <windows.h>

#include <vector>

#include "archive/arcfile.h"
#include "archive/cab_records.h"
#include "archive/cabfile.h"
#include "common/handles.h"
#include "tools/arctool/arctool.h"

namespace {

// Reads exactly count bytes at offset; false past the end of the file.
bool ReadAt(HANDLE file, uint64_t offset, void* out, DWORD count)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(file, out, count, &got, &at) && got == count;
}

// Offset of the first folder record: after the header, its reserve, and
// the names of the neighbouring cabinets of a set. False when the file ends
// before that.
bool FolderRecordsStart(HANDLE file, const cab::Header& header, cab::ReserveSizes& reserve, uint64_t& offset)
{
    offset = sizeof header;
    if (header.flags & cab::kFlagReservePresent) {
        if (!ReadAt(file, offset, &reserve, sizeof reserve)) {
            return false;
        }
        offset += sizeof reserve + reserve.cbCFHeader;
    }
    int names = ((header.flags & cab::kFlagPrevCabinet) ? 2 : 0) + ((header.flags & cab::kFlagNextCabinet) ? 2 : 0);
    for (int i = 0; i < names; ++i) {
        // A cabinet or disk name of at most 255 bytes and its NUL.
        char unit = 1;
        for (int length = 0; unit != 0; ++length, ++offset) {
            if (length > 255 || !ReadAt(file, offset, &unit, 1)) {
                return false;
            }
        }
    }
    return true;
}

int Fail(const WString& path, const WString& reason)
{
    WriteErr(path + L": " + reason + L"\n");
    return 1;
}

}  // namespace

int RunChecksums(const WString& path)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return Fail(path, L"cannot be opened");
    }
    cab::Header header{};
    if (!ReadAt(file.Get(), 0, &header, sizeof header) || header.signature != cab::kSignature) {
        return Fail(path, L"not a cabinet");
    }
    cab::ReserveSizes reserve{};
    uint64_t folderAt = 0;
    if (!FolderRecordsStart(file.Get(), header, reserve, folderAt)) {
        return Fail(path, L"the file ends inside the header");
    }
    int blocks = 0;
    int unchecked = 0;
    std::vector<uint8_t> blockReserve(reserve.cbCFData);
    std::vector<uint8_t> data;
    for (int f = 0; f < header.cFolders; ++f) {
        cab::Folder folder{};
        if (!ReadAt(file.Get(), folderAt + static_cast<uint64_t>(f) * (sizeof folder + reserve.cbCFFolder), &folder,
                    sizeof folder)) {
            return Fail(path, L"folder " + WString::FromInt(f) + L": the record lies past the end");
        }
        uint64_t at = folder.coffCabStart;
        for (int i = 0; i < folder.cCFData; ++i, ++blocks) {
            cab::DataBlock block{};
            bool whole = ReadAt(file.Get(), at, &block, sizeof block) &&
                         (blockReserve.empty() ||
                          ReadAt(file.Get(), at + sizeof block, blockReserve.data(), reserve.cbCFData));
            data.resize(block.cbData);
            whole = whole && (data.empty() || ReadAt(file.Get(), at + sizeof block + reserve.cbCFData, data.data(),
                                                     block.cbData));
            if (!whole) {
                return Fail(path, L"folder " + WString::FromInt(f) + L" block " + WString::FromInt(i) +
                                      L": the block lies past the end");
            }
            if (block.csum == 0) {
                // The format lets a writer leave the checksum out.
                ++unchecked;
            } else {
                uint32_t sum = cab::BlockChecksum(block.cbData, block.cbUncomp, blockReserve.data(),
                                                  blockReserve.size(), data.data());
                if (sum != block.csum) {
                    wchar_t line[96];
                    wsprintfW(line, L"block %d (folder %d block %d): stored %08x computed %08x\n", blocks, f, i,
                              static_cast<unsigned>(block.csum), static_cast<unsigned>(sum));
                    WriteOut(WString(line));
                    return 1;
                }
            }
            at += sizeof block + reserve.cbCFData + block.cbData;
        }
    }
    WString summary = WString::FromInt(blocks - unchecked) + L" blocks ok";
    if (unchecked > 0) {
        summary += L", " + WString::FromInt(unchecked) + L" without a checksum";
    }
    WriteOut(summary + L"\n");
    return 0;
}

int RunMerge(const std::vector<WString>& paths)
{
    std::vector<WString> cabinets;
    for (const WString& path : paths) {
        cabinets.push_back(path.ReplaceAll(L'/', L'\\'));
    }
    for (size_t i = 0; i < 2; ++i) {
        if (CArcFile::ArchiveKindOf(cabinets[i]) != kCabArchive) {
            WriteErr(L"merge takes cabinets (.cab): " + cabinets[i] + L"\n");
            return 2;
        }
    }
    CCabFile cabinet(cabinets[0]);
    bool ok = !cabinet.HasError() && cabinet.Merge(cabinets[0], cabinets[1], cabinets[2], false);
    if (cabinet.HasError()) {
        WriteErr(cabinet.ErrorText() + L"\n");
        cabinet.ClearErrorText();
        ok = false;
    }
    return ok ? 0 : 1;
}
