// Reading a ZIP archive's directory into the sorted entry table.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_set>

#include "archive/entry_names.h"
#include "archive/zip_extra.h"
#include "archive/zip_names.h"
#include "archive/zip_reader.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "common/messages.h"
#include "common/paths.h"

namespace {
WString Number(uint64_t value) { return WString::FromInt(static_cast<long long>(value)); }

// Adds without wrapping round: offsets and sizes from a damaged file can be
// anything, and a sum past the end of the range is simply "too far".
uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

}  // namespace

CZipFileEnum::CZipFileEnum(const WString& archivePath, bool keepWorkFolder)
    : CArcFile(archivePath, keepWorkFolder),
      entries_(true),
      zip64_(false),
      archiveCommentIndex_(-1),
      zip64DataIndex_(-1),
      entryCount_(0xFFFFFFFF),
      centralDirOffset_(UINT64_MAX),
      readComplete_(false),
      centralDirEnd_(0)
{
    ReadArchive();
}

CZipFileEnum::~CZipFileEnum() = default;

void CZipFileEnum::ReadArchive()
{
    if (!PathExists(ArchivePath())) {
        entryCount_ = 0;
        readComplete_ = true;
        return;
    }
    ScopedFile file(OpenArchive());
    if (!file) {
        return;
    }
    LARGE_INTEGER size{};
    ReportApiFailure(GetFileSizeEx(file.Get(), &size), "GetFileSizeEx");
    uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    Reader reader(*this, file.Get());
    if (!FindEndRecord(reader, fileSize)) {
        return;
    }
    // The table is sorted once, by precomputed keys, after the whole
    // directory is read: an archive of many thousand entries in no order
    // would otherwise cost a locale comparison call per step of every
    // insert.
    SortKeys keys;
    std::vector<int> tableKeys;
    bool read = ReadCentralDirectory(reader, keys);
    SortTable(keys, tableKeys);
    if (!read || !CheckLocalHeaders(reader, fileSize)) {
        return;
    }
    AddFolderEntries(keys, tableKeys);
    MarkOverlaps();
    directoryDigested_ = DigestDirectory(file.Get(), directoryDigest_);
    readComplete_ = true;
}

bool CZipFileEnum::DigestDirectory(HANDLE file, uint64_t& digest)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        return false;
    }
    uint64_t end = static_cast<uint64_t>(size.QuadPart);
    uint64_t start = std::min(centralDirOffset_, centralDirEnd_);
    if (start > end) {
        start = end;
    }
    // FNV-1a over the bytes: no protection against a forger, only a witness
    // that the bytes a commit would build on are still there.
    uint64_t hash = 14695981039346656037ull;
    std::vector<uint8_t> buffer(Reader::kWindow);
    for (uint64_t at = start; at < end;) {
        DWORD want = static_cast<DWORD>(std::min<uint64_t>(buffer.size(), end - at));
        DWORD got = 0;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(at);
        if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) ||
            !ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) {
            return false;
        }
        for (DWORD i = 0; i < got; ++i) {
            hash = (hash ^ buffer[i]) * 1099511628211ull;
        }
        at += got;
    }
    // The length goes in too: a file cut short after the directory's start
    // is no longer the same.
    digest = hash ^ (end - start);
    return true;
}

bool CZipFileEnum::DirectoryStillAsRead(HANDLE held)
{
    uint64_t now = 0;
    return !directoryDigested_ || (DigestDirectory(held, now) && now == directoryDigest_);
}

bool CZipFileEnum::FindEndRecord(Reader& reader, uint64_t fileSize)
{
    size_t window = static_cast<size_t>(std::min<uint64_t>(fileSize, zip::kEndRecordSearchWindow));
    uint64_t start = fileSize - window;
    std::vector<uint8_t> bytes(window);
    size_t got = 0;
    if (!reader.ReadAt(start, bytes.data(), window, "EndOfCentralDir", got)) {
        return false;
    }
    window = got;
    long long found = -1;
    for (long long at = static_cast<long long>(window) - 22; at >= 0; --at) {
        uint32_t signature;
        memcpy(&signature, bytes.data() + at, 4);
        if (signature == zip::kEndRecordSignature) {
            found = at;
            break;
        }
    }
    if (found < 0) {
        SetErrorText(L"EndOfCentralDir 署名を見つけられません");
        return false;
    }
    size_t position = static_cast<size_t>(found);
    zip::EndRecord end;
    memcpy(&end, bytes.data() + position, sizeof end);
    if (end.commentLength != 0) {
        if (window < position + 22 + end.commentLength) {
            SetErrorText(L"コメント領域不十分");
            return false;
        }
        archiveCommentIndex_ = blocks_.Append(bytes.data() + position + 22, end.commentLength);
    }
    uint64_t endAt = start + position;
    centralDirEnd_ = endAt;
    // The Zip64 records are read when the end record's offset says so, and
    // also when its count or size is at its limit: a writer marks only the
    // fields that overflow, and an archive of more than 65,535 entries read
    // through its end record alone would lose the rest.
    bool required = end.centralDirOffset == kZip64Marker32;
    bool possible = end.totalEntries == 0xFFFF || end.entriesOnDisk == 0xFFFF || end.centralDirSize == kZip64Marker32;
    if (required) {
        if (endAt < sizeof(zip::Zip64Locator)) {
            SetErrorText(L"Z64EndOfCentralDirLoc 署名を見つけられません");
            return false;
        }
        if (ReadZip64End(reader, endAt - sizeof(zip::Zip64Locator), false)) {
            return true;
        }
        if (HasError()) {
            return false;
        }
        // Info-ZIP writing to a pipe with forced Zip64 marks the offset but
        // writes neither locator nor Zip64 record. Its directory then lies
        // directly before the end record, as the size field says.
        if (end.centralDirSize != kZip64Marker32 && end.centralDirSize <= endAt) {
            uint32_t signature = 0;
            if (!reader.ReadAt(endAt - end.centralDirSize, &signature, 4, "CentralDir start", got)) {
                return false;
            }
            if (got == 4 && signature == zip::kCentralHeaderSignature) {
                entryCount_ = end.totalEntries;
                centralDirOffset_ = endAt - end.centralDirSize;
                return true;
            }
        }
        return ReadZip64End(reader, endAt - sizeof(zip::Zip64Locator), true);
    }
    if (possible && endAt >= sizeof(zip::Zip64Locator) &&
        ReadZip64End(reader, endAt - sizeof(zip::Zip64Locator), false)) {
        return true;
    }
    if (HasError() && possible) {
        return false;  // a read failed, not merely a missing record
    }
    entryCount_ = end.totalEntries;
    centralDirOffset_ = end.centralDirOffset;
    return true;
}

bool CZipFileEnum::ReadZip64End(Reader& reader, uint64_t locatorAt, bool required)
{
    zip::Zip64Locator locator;
    size_t got = 0;
    if (!reader.ReadAt(locatorAt, &locator, sizeof locator, "Z64EndOfCentralDirLoc", got)) {
        return false;
    }
    if (got < sizeof locator || locator.signature != zip::kZip64LocatorSignature) {
        if (required) {
            SetErrorText(L"Z64EndOfCentralDirLoc 署名を見つけられません");
        }
        return false;
    }
    uint64_t recordAt = locator.endRecordOffset;
    zip::Zip64EndRecord record;
    bool fits = recordAt <= locatorAt && locatorAt - recordAt >= sizeof record;
    if (fits && !reader.ReadAt(recordAt, &record, sizeof record, "Z64EndOfCentralDir", got)) {
        return false;
    }
    bool valid = fits && got == sizeof record && record.signature == zip::kZip64EndRecordSignature &&
                 record.recordSize >= 44 && record.recordSize <= locatorAt - recordAt - 12;
    // Bytes that merely look like a locator are not trusted unless the
    // record they point at ends exactly where the locator begins.
    if (valid && !required && recordAt + 12 + record.recordSize != locatorAt) {
        valid = false;
    }
    if (!valid) {
        if (required) {
            SetErrorText(L"Z64EndOfCentralDir 署名を見つけられません");
        }
        return false;
    }
    zip64_ = true;
    entryCount_ = static_cast<uint32_t>(record.totalEntries);
    centralDirOffset_ = record.centralDirOffset;
    centralDirEnd_ = recordAt;
    if (record.recordSize > 44) {
        size_t length = static_cast<size_t>(record.recordSize - 44);
        std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[length]);
        if (!data) {
            SetErrorText(L"ファイルが大きすぎます");
            return false;
        }
        if (!reader.ReadAt(recordAt + sizeof record, data.get(), length, "Z64ExtendData", got) || got != length) {
            if (!HasError()) {
                SetErrorText(L"Z64EndOfCentralDir 署名を見つけられません");
            }
            return false;
        }
        zip64DataIndex_ = blocks_.Push(data.release(), static_cast<int>(length));
    }
    return true;
}

bool CZipFileEnum::ReadCentralDirectory(Reader& reader, SortKeys& keys)
{
    uint64_t offset = centralDirOffset_;
    // The count is the end record's claim; no more headers than the bytes
    // before the end records can hold are expected (46 bytes each at least).
    uint64_t room = centralDirEnd_ > centralDirOffset_ ? (centralDirEnd_ - centralDirOffset_) / kCentralHeaderSize : 0;
    size_t expected = static_cast<size_t>(std::min<uint64_t>({entryCount_, 1u << 20, room}));
    entries_.Clear();
    entries_.SetSorted(false);
    // Room for the folders added later as well; memory reserved and never
    // used costs nothing, a table moved to grow costs a copy of it all.
    entries_.Reserve(static_cast<int>(expected + expected / 4 + 16));
    keys.Reserve(expected, expected * 96);
    std::vector<uint8_t> piece;
    std::vector<wchar_t> units;
    for (uint32_t i = 0; i < entryCount_; ++i) {
        zip::CentralHeader header;
        size_t got = 0;
        if (!reader.ReadAt(offset, &header, sizeof header, "CentralDir", got)) {
            return false;
        }
        if (got < sizeof header || header.signature != zip::kCentralHeaderSignature) {
            SetErrorText(L"CentralDir 署名を見つけられません index = " + Number(i));
            return false;
        }
        offset += sizeof header;
        // Built only when needed: an archive of many entries would pay for
        // the text of every one.
        auto truncated = [i]() { return L"CentralDir が途中で切れています index = " + Number(i); };
        piece.resize(header.nameLength);
        if (!reader.ReadAt(offset, piece.data(), piece.size(), "FileName", got)) {
            return false;
        }
        if (got < piece.size()) {
            SetErrorText(truncated());
            return false;
        }
        offset += header.nameLength;
        // No file can be named by nothing or by text with a NUL in it: such a
        // header is damaged. Reading stops there, so that a later commit can
        // never drop the entry unnoticed.
        if (header.nameLength == 0 || memchr(piece.data(), 0, piece.size()) != nullptr) {
            SetErrorText(L"CentralDir のファイル名が壊れています index = " + Number(i));
            return false;
        }
        ArcEntry entry = EmptyArcEntry();
        memcpy(&entry, &header, sizeof header);
        entry.nameIndex = blocks_.Append(piece.data(), header.nameLength);
        const char* nameBytes = reinterpret_cast<const char*>(blocks_.Block(entry.nameIndex));
        entry.packedSize = header.packedSize32;
        entry.size = header.size32;
        // A marked offset must come from the Zip64 block; without one it
        // stays undefined.
        entry.headerOffset = header.headerOffset32 == kZip64Marker32 ? UINT64_MAX : header.headerOffset32;
        if (header.extraLength != 0) {
            std::unique_ptr<uint8_t[]> owned(new uint8_t[header.extraLength]);
            if (!reader.ReadAt(offset, owned.get(), header.extraLength, "ExtraField", got)) {
                return false;
            }
            if (got < header.extraLength) {
                SetErrorText(truncated());
                return false;
            }
            uint8_t* extra = owned.get();
            entry.centralExtraIndex = blocks_.Push(owned.release(), header.extraLength);
            offset += header.extraLength;
            WString reason;
            if (!zip::ParseExtra(extra, header.extraLength, entry, zip::ExtraSide::kCentral, reason)) {
                SetErrorText(reason);
                return false;
            }
        }
        zip::DecodeEntryNameInto(nameBytes, header.nameLength, header.flags, blocks_.Block(entry.centralExtraIndex),
                                 static_cast<size_t>(blocks_.Size(entry.centralExtraIndex)), units);
        std::replace(units.begin(), units.end(), L'\\', L'/');
        // The name the archive is seen by everywhere: "./docs/readme.txt",
        // as tools that archive "." store it, is docs/readme.txt, "run.bat."
        // is the run.bat that Windows would write, and two names that map
        // to one are duplicates. The stored bytes stay for the commit.
        MapEntryName(units);
        int length = static_cast<int>(units.size());
        if (header.headerOffset32 == kZip64Marker32 && entry.headerOffset == UINT64_MAX) {
            SetErrorText(WString(units.data(), length) + L"\nOffset が定義されていません");
            return false;
        }
        if (header.commentLength != 0) {
            piece.resize(header.commentLength);
            if (!reader.ReadAt(offset, piece.data(), piece.size(), "FileComment", got)) {
                return false;
            }
            if (got < piece.size()) {
                SetErrorText(truncated());
                return false;
            }
            entry.commentIndex = blocks_.Append(piece.data(), header.commentLength);
            offset += header.commentLength;
        }
        keys.Add(units.data(), length);
        entries_.AppendInOrder(WString(units.data(), length), std::move(entry));
    }
    if (offset > centralDirEnd_) {
        centralDirEnd_ = offset;
    }
    return true;
}

void CZipFileEnum::SortTable(const SortKeys& keys, std::vector<int>& tableKeys)
{
    // Rows and keys are numbered in directory order, and equal keys stay
    // in that order, so that the first of equal names is kept.
    std::vector<int> order(static_cast<size_t>(entries_.Count()));
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
    }
    std::vector<char> equalToPrevious;
    keys.Sort(order, equalToPrevious);
    tableKeys.clear();
    tableKeys.reserve(order.size());
    int lastDuplicate = -1;
    int firstIndex = 0;
    int keptIndex = 0;  // directory index of the name last kept
    for (size_t n = 0; n < order.size(); ++n) {
        int row = order[n];
        if (equalToPrevious[n]) {
            // The report names the duplicate met last in the directory.
            if (row > lastDuplicate) {
                lastDuplicate = row;
                firstIndex = keptIndex;
            }
            continue;
        }
        keptIndex = row;
        tableKeys.push_back(row);
    }
    // A read error met later in the directory is the one to show, as the
    // walk met it after the duplicate.
    if (lastDuplicate >= 0 && !HasError()) {
        SetErrorText(L"重複したファイル名 " + entries_.Name(lastDuplicate) + L" index1, 2 = " + Number(firstIndex) +
                     L" " + Number(lastDuplicate));
    }
    entries_.Reorder(tableKeys);
    entries_.SetSorted(true);
}

bool CZipFileEnum::CheckLocalHeaders(Reader& reader, uint64_t fileSize)
{
    std::vector<uint8_t> descriptor(24);
    // The headers are visited in the order they lie in the file, so that
    // the reader's window moves forward instead of jumping with the names.
    std::vector<std::pair<uint64_t, int>> inFileOrder;
    inFileOrder.reserve(static_cast<size_t>(entries_.Count()));
    for (int t = 0; t < entries_.Count(); ++t) {
        inFileOrder.emplace_back(entries_.ValueAt(t).headerOffset, t);
    }
    std::sort(inFileOrder.begin(), inFileOrder.end());
    spans_.reserve(inFileOrder.size());
    for (const auto& visit : inFileOrder) {
        int t = visit.second;
        ArcEntry& entry = entries_.ValueAt(t);
        auto badSignature = [t]() { return L"LocalHeader 署名を見つけられません index = " + Number(t); };
        zip::LocalHeader local;
        size_t got = 0;
        if (entry.headerOffset >= fileSize) {
            SetErrorText(badSignature());
            return false;
        }
        if (!reader.ReadAt(entry.headerOffset, &local, sizeof local, "LocalHeader", got)) {
            return false;
        }
        if (got < sizeof local || local.signature != zip::kLocalHeaderSignature) {
            SetErrorText(badSignature());
            return false;
        }
        uint64_t extraAt = entry.headerOffset + sizeof local + local.nameLength;
        uint64_t dataOffset = extraAt + local.extraLength;
        bool zip64Local = false;
        if (local.extraLength != 0) {
            std::unique_ptr<uint8_t[]> owned(new uint8_t[local.extraLength]);
            if (!reader.ReadAt(extraAt, owned.get(), local.extraLength, "ExtraField", got)) {
                return false;
            }
            if (got < local.extraLength) {
                SetErrorText(L"LocalHeader が途中で切れています index = " + Number(t));
                return false;
            }
            uint8_t* extra = owned.get();
            entry.localExtraIndex = blocks_.Push(owned.release(), local.extraLength);
            WString reason;
            if (!zip::ParseExtra(extra, local.extraLength, entry, zip::ExtraSide::kLocal, reason, &local)) {
                SetErrorText(reason);
                return false;
            }
            zip64Local = zip::HasZip64Block(extra, local.extraLength);
        }
        uint64_t end = SaturatingAdd(dataOffset, entry.packedSize);
        // The local header's flag told the traditional cipher which byte its
        // header checks (the time's or the CRC's) when the entry was
        // written. A commit writes both headers with the entry's flags, so
        // an encrypted entry takes the local one, whatever the directory
        // says: with another, every tool would refuse its password.
        if (zip::IsEncrypted(entry.flags, entry.method)) {
            entry.flags = static_cast<uint16_t>((entry.flags & ~zip::kFlagDataDescriptor) |
                                                (local.flags & zip::kFlagDataDescriptor));
        }
        if (local.flags & zip::kFlagDataDescriptor) {
            // Sizes and CRC are taken from the directory; the descriptor is
            // only located. Its sizes are 8 bytes wide when the local header
            // announced Zip64. A commit writes the sizes into the local
            // header and needs no descriptor, except for an encrypted entry,
            // which keeps the flag and its descriptor.
            if (!zip::IsEncrypted(entry.flags, entry.method)) {
                entry.flags &= static_cast<uint16_t>(~zip::kFlagDataDescriptor);
            }
            size_t valuesLength = zip64Local ? 20 : 12;
            uint32_t signature = 0;
            if (!reader.ReadAt(end, &signature, 4, "DataDescriptor", got)) {
                return false;
            }
            uint64_t valuesAt = (got == 4 && signature == zip::kDataDescriptorSignature) ? end + 4 : end;
            if (!reader.ReadAt(valuesAt, descriptor.data(), valuesLength, "DataDescriptor64", got)) {
                return false;
            }
            if (got < valuesLength) {
                SetErrorText(L"DataDescriptor が途中で切れています index = " + Number(t));
                return false;
            }
            end = valuesAt + valuesLength;
        }
        spans_.push_back(LocalSpan{entry.headerOffset, dataOffset, end});
    }
    return true;
}

void CZipFileEnum::AddFolderEntries(SortKeys& keys, std::vector<int>& tableKeys)
{
    // Every distinct folder prefix once, by its text, in the order an
    // entry-by-entry walk meets them. A prefix is only recorded after all
    // of its own prefixes, so a name whose parent is known needs no look
    // at the shorter ones; and names of one folder mostly follow each other.
    std::unordered_set<std::wstring_view> prefixes;
    std::vector<std::wstring_view> found;
    std::wstring_view lastParent;
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        int parentEnd = name.Length() - 1;
        while (parentEnd >= 0 && name.At(parentEnd) != L'/') {
            --parentEnd;
        }
        std::wstring_view parent(name.c_str(), static_cast<size_t>(parentEnd + 1));
        if (parent.empty() || parent == lastParent) {
            continue;
        }
        lastParent = parent;
        size_t firstNew = found.size();
        for (int at = parentEnd; at >= 0; --at) {
            if (name.At(at) != L'/') {
                continue;
            }
            std::wstring_view prefix(name.c_str(), static_cast<size_t>(at) + 1);
            if (!prefixes.insert(prefix).second) {
                break;
            }
            found.push_back(prefix);
        }
        std::reverse(found.begin() + static_cast<long>(firstNew), found.end());
    }
    if (found.empty()) {
        return;
    }
    // Folders the table holds already, or that an earlier prefix stands
    // for, are found by key: equality is the table's own. Key numbers of
    // the prefixes count up in the order they were met.
    int firstFolderKey = keys.Count();
    std::vector<int> folderKeys;
    for (const std::wstring_view& prefix : found) {
        folderKeys.push_back(keys.Add(prefix.data(), static_cast<int>(prefix.size())));
    }
    std::vector<char> equalToPrevious;
    keys.Sort(folderKeys, equalToPrevious);
    int rows = entries_.Count();
    // The table's rows with the new folders put in: a folder goes after an
    // equal name, as an insert into the sorted table would put it.
    std::vector<int> order;
    order.reserve(static_cast<size_t>(rows) + folderKeys.size());
    std::vector<int> mergedKeys;
    mergedKeys.reserve(order.capacity());
    int taken = 0;
    for (size_t n = 0; n < folderKeys.size(); ++n) {
        int key = folderKeys[n];
        if (equalToPrevious[n]) {
            continue;
        }
        auto after = std::upper_bound(tableKeys.begin(), tableKeys.end(), key,
                                      [&keys](int a, int b) { return keys.Compare(a, b) < 0; });
        int at = static_cast<int>(after - tableKeys.begin());
        if (at > 0 && keys.Equal(tableKeys[static_cast<size_t>(at - 1)], key) && entries_.Name(at - 1).Last() == L'/') {
            continue;
        }
        for (; taken < at; ++taken) {
            order.push_back(taken);
            mergedKeys.push_back(tableKeys[static_cast<size_t>(taken)]);
        }
        const std::wstring_view& text = found[static_cast<size_t>(key - firstFolderKey)];
        WString prefix(text.data(), static_cast<int>(text.size()));
        ArcEntry folder = EmptyArcEntry();
        folder.externalAttributes = FILE_ATTRIBUTE_DIRECTORY;
        folder.nameLength = static_cast<uint16_t>(prefix.ToAnsi().Length());
        order.push_back(entries_.Count());
        mergedKeys.push_back(key);
        entries_.AppendInOrder(std::move(prefix), std::move(folder));
    }
    for (; taken < rows; ++taken) {
        order.push_back(taken);
        mergedKeys.push_back(tableKeys[static_cast<size_t>(taken)]);
    }
    entries_.Reorder(order);
    entries_.SetSorted(true);
    tableKeys.swap(mergedKeys);
}

void CZipFileEnum::MarkOverlaps()
{
    struct Span {
        uint64_t begin;
        uint64_t end;
        bool directory;
    };
    std::vector<Span> spans;
    spans.reserve(spans_.size() + 1);
    for (const LocalSpan& span : spans_) {
        spans.push_back(Span{span.begin, span.end, false});
    }
    if (centralDirEnd_ > centralDirOffset_) {
        spans.push_back(Span{centralDirOffset_, centralDirEnd_, true});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    size_t reach = 0;  // the span that reaches furthest so far
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].begin < spans[reach].end) {
            if (!spans[i].directory) {
                overlapping_.insert(spans[i].begin);
            }
            if (!spans[reach].directory) {
                overlapping_.insert(spans[reach].begin);
            }
        }
        if (spans[i].end > spans[reach].end) {
            reach = i;
        }
    }
}

bool CZipFileEnum::OverlapsOther(const ArcEntry& entry) const
{
    return entry.newDataIndex < 0 && overlapping_.count(entry.headerOffset) != 0;
}

uint64_t CZipFileEnum::DataOffsetOf(const ArcEntry& entry) const
{
    auto found = std::lower_bound(spans_.begin(), spans_.end(), entry.headerOffset,
                                  [](const LocalSpan& span, uint64_t offset) { return span.begin < offset; });
    return found == spans_.end() || found->begin != entry.headerOffset ? 0 : found->data;
}

bool CZipFileEnum::GetEntryNames(StringList& names)
{
    SetBusyCursor(kListCursor);
    names.Reserve(names.Count() + entries_.Count());
    for (int i = 0; i < entries_.Count(); ++i) {
        // An entry of the archive's top level itself ("./") is no item.
        if (!entries_.Name(i).IsEmpty()) {
            names.Insert(entries_.Name(i).ReplaceAll(L'/', L'\\'));
        }
    }
    SetBusyCursor(kArrowCursor);
    return true;
}
