// The full ZIP layer's reading side: binding zlib, extraction and entry
// information.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "archive/zip_compress.h"
#include "archive/entry_names.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "common/dos_time.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/paths.h"

namespace {

WString Number(long long value) { return WString::FromInt(value); }

// The attribute bits that SetFileAttributesW accepts for a file.
const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                  FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

namespace zip {

bool IsSafeEntryName(const WString& name) { return CheckEntryName(name) == NameFault::kNone; }

DWORD FileAttributesOf(uint32_t externalAttributes)
{
    DWORD attributes = externalAttributes & kSettableAttributes;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

}  // namespace zip

CZipFile::CZipFile(const WString& archivePath, const WString& zlibLibraryPath, bool keepWorkFolder)
    : CZipFileEnum(archivePath, keepWorkFolder), level_(-1), pending_(false), modified_(false), committed_(false),
      compressionWorkers_(ParallelCompressor::DefaultWorkers()), compressionBudget_(ParallelCompressor::kDefaultBudget)
{
    // The library is bound even after a reading failure: the entries read
    // before it can still be extracted.
    bool bound = zlib_.Load(zlibLibraryPath) && zlib_.Bind();
    if (!bound && !HasError()) {
        SetErrorText(kZlibUnavailable);
    }
    level_ = ReadZipLevel();
}

CZipFile::~CZipFile()
{
    Commit();
    zlib_.Release();
}

bool CZipFile::CheckZlib()
{
    if (zlib_.IsBound()) {
        return true;
    }
    SetErrorText(kZlibUnavailable);
    return false;
}

bool CZipFile::Extract(const WString& destination, const WString& entryPath, bool askBeforeOverwrite)
{
    WString target;
    if (!PrepareDestination(destination, entryPath, askBeforeOverwrite, target)) {
        return false;
    }
    if (!CheckZlib()) {
        return false;
    }
    BusyCursor busy(*this, kExtractCursor);
    ScopedFile file(OpenArchive());
    if (!file) {
        return false;
    }
    bool ok = false;
    if (entryPath.IsEmpty()) {
        ok = ExtractFolder(file.Get(), WString(), target);
    } else {
        WString name = entryPath.ReplaceAll(L'\\', L'/');
        if (entryPath.Last() == L'\\') {
            ok = ExtractFolder(file.Get(), name, target);
        } else {
            int index = FindEntry(name);
            NameFault fault = CheckEntryName(name);
            if (index < 0) {
                SetErrorText(L"ファイルが見つかりません Path = " + entryPath);
            } else if (fault != NameFault::kNone) {
                SetErrorText(RefusedNameText(name, fault));
            } else {
                ok = ExtractEntry(file.Get(), entries_.ValueAt(index), name, target);
            }
        }
    }
    ReportApiFailure(file.Reset(), "CloseHandle");
    return ok;
}

bool CZipFile::ExtractFolder(HANDLE archive, const WString& prefix, const WString& target)
{
    // Every name is checked before anything is written, so that a damaged
    // or hostile archive leaves no partial result behind. An entry of the
    // top level itself ("./") is the target, which stands already.
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        bool taken = !name.IsEmpty() && name.StartsWith(prefix.c_str());
        NameFault fault = taken ? CheckEntryName(name) : NameFault::kNone;
        if (fault != NameFault::kNone) {
            SetErrorText(RefusedNameText(name, fault));
            return false;
        }
    }
    // Keys derived ahead serve this extraction only, and their threads end
    // with it.
    struct KeysAheadScope {
        std::unique_ptr<zip::KeysAhead>& keys;
        ~KeysAheadScope() { keys.reset(); }
    } keysScope{keysAhead_};
    keysAhead_ = KeysAheadFor(prefix);
    if (!UnlockFolder(archive, prefix)) {
        return false;
    }
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        if (name.IsEmpty() || !name.StartsWith(prefix.c_str())) {
            continue;
        }
        WString rest = name.From(prefix.Length()).ReplaceAll(L'/', L'\\');
        if (name.Last() == L'/') {
            WString folder = rest.IsEmpty() ? target : JoinPath(target, rest.Left(rest.Length() - 1));
            CreateDirectoryW(folder.c_str(), nullptr);
            continue;
        }
        if (!ExtractEntry(archive, entries_.ValueAt(i), name, JoinPath(target, rest))) {
            return false;
        }
    }
    return true;
}

std::unique_ptr<zip::KeysAhead> CZipFile::KeysAheadFor(const WString& prefix) const
{
    unsigned processors = std::thread::hardware_concurrency();
    if (processors < 2) {
        return nullptr;
    }
    std::vector<zip::KeyJob> jobs;
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        const ArcEntry& entry = entries_.ValueAt(i);
        zip::AesParameters aes;
        uint64_t dataOffset = 0;
        if (name.IsEmpty() || name.Last() == L'/' || !name.StartsWith(prefix.c_str()) ||
            entry.method != zip::kMethodAes || !AesParametersOf(entry, aes) || zip::AesSaltSize(aes.strength) == 0 ||
            (dataOffset = DataOffsetOf(entry)) == 0) {
            continue;
        }
        jobs.push_back(zip::KeyJob{entry.headerOffset, dataOffset, aes.strength});
    }
    // One entry has nothing ahead of it.
    if (jobs.size() < 2) {
        return nullptr;
    }
    return std::unique_ptr<zip::KeysAhead>(new zip::KeysAhead(ArchivePath(), std::move(jobs), processors));
}

bool CZipFile::ReadEntry(HANDLE archive, const ArcEntry& entry, const WString& name, const WString& output,
                         zip::LocalHeader& local, zip::PlainBuffer& data)
{
    if (!CheckZlib()) {
        return false;
    }
    if (OverlapsOther(entry)) {
        SetErrorText(output + L"\nデータが他のエントリーと重なっているため展開しません");
        return false;
    }
    DWORD got = 0;
    if (!SeekTo(archive, entry.headerOffset, "ExtractFile") ||
        !ReadBlock(archive, &local, sizeof local, "LocalHeader", &got)) {
        return false;
    }
    if (got < sizeof local || local.signature != zip::kLocalHeaderSignature) {
        SetErrorText(output + L"\nLocalHeader 署名を見つけられません ");
        return false;
    }
    // The directory's CRC and sizes stand: a streamed entry's local header
    // holds zeros, and the descriptor behind the data repeats what the
    // directory says.
    if (entry.packedSize >= kZip64Marker32) {
        SetErrorText(output + L"\n圧縮サイズオーバー");
        return false;
    }
    if (entry.size >= kZip64Marker32) {
        SetErrorText(output + L"\n圧縮前サイズオーバー");
        return false;
    }
    uint32_t packedSize = static_cast<uint32_t>(entry.packedSize);
    uint32_t size = static_cast<uint32_t>(entry.size);
    uint64_t dataOffset = entry.headerOffset + sizeof local + local.nameLength + local.extraLength;
    // The sizes are the directory's claims: memory is taken for them only
    // when the archive holds the data they speak of, and when that data can
    // come to so much (deflate gives at most 1032 bytes for one).
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(archive, &fileSize) || dataOffset + packedSize > static_cast<uint64_t>(fileSize.QuadPart)) {
        SetErrorText(output + L"\nデータがアーカイブの終わりを越えています");
        return false;
    }
    if (size > static_cast<uint64_t>(packedSize) * 1032 + 1024) {
        SetErrorText(output + L"\n展開エラー");
        return false;
    }
    if (!data.Allocate(size)) {
        SetErrorText(L"ファイルが大きすぎます");
        return false;
    }
    data.SetSecret(zip::IsEncrypted(local.flags, local.method));
    // The traditional cipher's header checks a single byte, so one password
    // in 256 passes it without being the one the entry was encrypted with,
    // and AES's verifier lets one in 65,536 through. Only the data can tell:
    // when it does not come out right, the next password that passes is
    // tried, and when none is left the user is asked again. Once a password
    // has opened an entry's data, a failed AES code means changed data.
    const WString errorBefore = ErrorText();
    for (size_t candidate = 0;; ++candidate) {
        if (!SeekTo(archive, dataOffset, "ExtractFile")) {
            return false;
        }
        zip::EntryDecryption decryption;
        uint16_t method = local.method;
        uint32_t dataSize = packedSize;
        if (zip::IsEncrypted(local.flags, method)) {
            if (!OpenDecryption(archive, entry, name, local, output, candidate, decryption)) {
                return false;
            }
            method = decryption.Method();
            dataSize = decryption.DataSize();
        }
        bool dataFault = false;
        if (ReadEntryData(archive, decryption, method, dataSize, size, entry.crc32, data.Data(), output, dataFault)) {
            if (decryption.IsActive()) {
                passwords_.Prefer(candidate);
                // An empty file of the traditional cipher has nothing but
                // its header's check byte to prove the password with.
                bool proves = decryption.IsAes() || size > 0;
                if (proves) {
                    passwords_.SetProven();
                }
                RememberPassword(name, passwords_.Encodings().front(), proves);
            }
            return true;
        }
        if (!dataFault || !decryption.IsActive() || (decryption.IsAes() && passwords_.Proven())) {
            return false;
        }
        SetErrorText(errorBefore);
    }
}

bool CZipFile::ExtractEntry(HANDLE archive, const ArcEntry& entry, const WString& name, const WString& output)
{
    zip::LocalHeader local;
    zip::PlainBuffer data;
    if (!ReadEntry(archive, entry, name, output, local, data)) {
        return false;
    }
    DWORD size = static_cast<DWORD>(entry.size);
    ScopedFile file(CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        SetErrorText(output + L"\nCreateFile INVALID_HANDLE_VALUE");
        return false;
    }
    if (!WriteBlock(file.Get(), data.Data(), size, "ExtractFile")) {
        // Part of the entry is not the entry: nothing is left behind.
        file.Reset();
        DeleteFileW(output.c_str());
        return false;
    }
    // Before the times and attributes: writing the stream would change the
    // one, and a read-only file takes no new stream.
    CarryZoneMark(output);
    FILETIME lastWrite{};
    bool haveWrite = IsTimePresent(entry.modifiedTime);
    if (haveWrite) {
        lastWrite = entry.modifiedTime;
    } else {
        lastWrite = DosDateTimeToUtc(local.dosDate, local.dosTime);
        haveWrite = IsTimePresent(lastWrite);
    }
    const FILETIME* access = IsTimePresent(entry.accessTime) ? &entry.accessTime : nullptr;
    const FILETIME* creation = IsTimePresent(entry.creationTime) ? &entry.creationTime : nullptr;
    // Only the Windows bits: archives made on Unix keep the file mode in
    // the upper half.
    DWORD attributes = zip::FileAttributesOf(entry.externalAttributes);
    // Times and attributes go to the open file in one call. Setting the
    // attributes by path would look the file up again, which for a small
    // file costs more than writing it. When the single call fails, the
    // separate calls run and report what failed.
    if (SetTimesAndAttributes(file.Get(), creation, access, haveWrite ? &lastWrite : nullptr, attributes)) {
        file.Reset();
        return true;
    }
    if (!SetFileTime(file.Get(), creation, access, haveWrite ? &lastWrite : nullptr)) {
        DWORD code = GetLastError();
        std::string tag = std::string(output.ToAnsi().c_str()) + " SetFileTime";
        SetLastError(code);
        ReportApiFailure(FALSE, tag.c_str());
    }
    file.Reset();
    ReportApiFailure(SetFileAttributesW(output.c_str(), attributes), "SetFileAttributes");
    return true;
}

bool CZipFile::ReadEntryData(HANDLE archive, zip::EntryDecryption& decryption, uint16_t method, uint32_t packedSize,
                             uint32_t size, uint32_t crc, uint8_t* data, const WString& output, bool& dataFault)
{
    dataFault = false;
    if (method != zip::kMethodDeflate && method != zip::kMethodStored) {
        SetErrorText(output + L"\nサポートしていない圧縮法です（Method = " + Number(method) + L"）");
        return false;
    }
    if (method == zip::kMethodStored && packedSize != size) {
        SetErrorText(output + L"\n非圧縮なのに圧縮前と後のサイズが異なります");
        return false;
    }
    const WString truncated = output + L"\nデータがアーカイブの終わりを越えています";
    DWORD got = 0;
    if (method == zip::kMethodDeflate) {
        uint64_t wrappedSize = static_cast<uint64_t>(packedSize) + kZlibHeaderSize + kZlibTrailerSize;
        // The decrypted deflate data tells the content as the output does.
        zip::PlainBuffer wrapped;
        wrapped.SetSecret(decryption.IsActive());
        if (wrappedSize > 0xFFFFFFFFULL || !wrapped.Allocate(static_cast<size_t>(wrappedSize))) {
            SetErrorText(L"ファイルが大きすぎます");
            return false;
        }
        memcpy(wrapped.Data(), kZlibHeader, kZlibHeaderSize);
        if (!ReadBlock(archive, wrapped.Data() + kZlibHeaderSize, packedSize, "ExtractFile", &got)) {
            return false;
        }
        if (got != packedSize) {
            SetErrorText(truncated);
            return false;
        }
        if (!DecryptRead(decryption, wrapped.Data() + kZlibHeaderSize, packedSize, output)) {
            return false;
        }
        memset(wrapped.Data() + kZlibHeaderSize + packedSize, 0, kZlibTrailerSize);
        // The zero trailer never matches the data's Adler-32, so zlib ends
        // with a data error after producing everything; the length and the
        // CRC-32 decide instead.
        uint32_t produced = size;
        zlib_.Uncompress(data, produced, wrapped.Data(), static_cast<uint32_t>(wrappedSize));
        if (produced != size) {
            // Changed AES data is told by its code, which says more than
            // that the inflation failed.
            if (decryption.IsAes() && !CloseDecryption(archive, decryption, output, &dataFault)) {
                return false;
            }
            SetErrorText(output + L"\n展開エラー");
            dataFault = true;
            return false;
        }
    } else {
        if (!ReadBlock(archive, data, size, "ExtractFile", &got)) {
            return false;
        }
        if (got != size) {
            SetErrorText(truncated);
            return false;
        }
        if (!DecryptRead(decryption, data, size, output)) {
            return false;
        }
    }
    if (!CloseDecryption(archive, decryption, output, &dataFault)) {
        return false;
    }
    if (decryption.ChecksCrc() && zlib_.Crc32(data, size) != crc) {
        SetErrorText(output + L"\nCRC32エラー");
        dataFault = true;
        return false;
    }
    return true;
}

bool CZipFile::SetTimesAndAttributes(HANDLE file, const FILETIME* creation, const FILETIME* access,
                                     const FILETIME* lastWrite, DWORD attributes)
{
    // A zero time leaves that time as it is, like a null pointer for
    // SetFileTime. The normal bit keeps the attribute value from being zero,
    // which would also mean "unchanged"; with other bits it counts for
    // nothing, as in SetFileAttributesW.
    auto value = [](const FILETIME* time) {
        LARGE_INTEGER v{};
        if (time) {
            v.LowPart = time->dwLowDateTime;
            v.HighPart = static_cast<LONG>(time->dwHighDateTime);
        }
        return v;
    };
    FILE_BASIC_INFO info{};
    info.CreationTime = value(creation);
    info.LastAccessTime = value(access);
    info.LastWriteTime = value(lastWrite);
    info.FileAttributes = attributes | FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info) != FALSE;
}

bool CZipFile::StoredChecksum(const WString& entryPath, uint64_t& size, uint32_t& crc32) const
{
    int index = FindEntry(entryPath.ReplaceAll(L'\\', L'/'));
    if (index < 0 || entryPath.Last() == L'\\') {
        return false;
    }
    const ArcEntry& entry = entries_.ValueAt(index);
    // The second version of AES stores no CRC.
    zip::AesParameters aes;
    if (entry.method == zip::kMethodAes &&
        (!AesParametersOf(entry, aes) ||
         aes.vendorVersion != zip::kAesVersion1)) {
        return false;
    }
    size = entry.size;
    crc32 = entry.crc32;
    return true;
}

bool CZipFile::GetEntryInfo(const WString& entryPath, DWORD& size, DWORD& packedSize, FILETIME& lastWrite,
                            DWORD& attributes, StringList& lines)
{
    BusyCursor busy(*this, kListCursor);
    int index = FindEntry(entryPath.ReplaceAll(L'\\', L'/'));
    if (index < 0) {
        SetErrorText(L"パスがありません " + entryPath);
        return false;
    }
    const ArcEntry& entry = entries_.ValueAt(index);
    size = entry.size32;
    packedSize = entry.packedSize32;
    attributes = entry.externalAttributes;
    if (IsTimePresent(entry.modifiedTime)) {
        lastWrite = entry.modifiedTime;
    } else {
        lastWrite = DosDateTimeToUtc(entry.dosDate, entry.dosTime);
    }
    lines.Clear();
    if (IsTimePresent(entry.creationTime)) {
        lines.Insert(L"作成日時：" + FormatFileTime(entry.creationTime));
    }
    if (IsTimePresent(entry.accessTime)) {
        lines.Insert(L"アクセス日時：" + FormatFileTime(entry.accessTime));
    }
    // An AES entry names its compression in its AES block; method 99 only
    // says that the data is encrypted.
    uint16_t method = entry.method;
    if (zip::IsEncrypted(entry.flags, entry.method)) {
        zip::AesParameters aes;
        bool isAes = entry.method == zip::kMethodAes;
        bool known = isAes && AesParametersOf(entry, aes);
        if (!isAes) {
            lines.Insert(WString(L"暗号化：ZIP 従来型"));
        } else if (known && zip::AesSaltSize(aes.strength) != 0) {
            lines.Insert(L"暗号化：AES-" + Number(static_cast<long long>(zip::AesSaltSize(aes.strength)) * 16));
            method = aes.method;
        } else {
            lines.Insert(WString(L"暗号化：AES"));
        }
    }
    if (method == zip::kMethodStored) {
        lines.Insert(WString(L"非圧縮"));
    } else if (method != zip::kMethodDeflate && method != zip::kMethodAes) {
        lines.Insert(L"Method = " + Number(method) + L" 未サポートの圧縮法");
    }
    return true;
}
