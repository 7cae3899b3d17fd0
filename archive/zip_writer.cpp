// The full ZIP layer's writing side: new entries compressed into memory,
// deletion marks, and the commit that writes the whole archive anew.
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "archive/entry_names.h"
#include "archive/zip_compress.h"
#include "archive/zip_extra.h"
#include "archive/zip_names.h"
#include "archive/zip_reader.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "common/desktop_icons.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/progress.h"
#include "common/system.h"

namespace {

WString Number(long long value) { return WString::FromInt(value); }

// Past this position an offset no longer goes into a 32-bit field.
const uint64_t kOffsetLimit32 = 0xFFFFFFF0;
// Milliseconds between two looks at the message queue during the commit.
const ULONGLONG kPumpInterval = 30;

std::string Label(const char* what, const AString& name) { return std::string(what) + " " + name.c_str(); }

// An extra field must fit its 16-bit length: the engine's own blocks come
// first and foreign blocks are kept while they fit.
std::vector<uint8_t> JoinExtra(std::vector<uint8_t> own, const std::vector<uint8_t>& foreign)
{
    if (own.size() + foreign.size() <= 0xFFFF) {
        own.insert(own.end(), foreign.begin(), foreign.end());
    }
    return own;
}

// The descriptor behind an entry's data, with its signature; the sizes are
// 8 bytes wide when the local header is a Zip64 one. Returns its length.
size_t DataDescriptor(const ArcEntry& entry, bool zip64, uint8_t (&out)[24])
{
    uint32_t head[2] = {zip::kDataDescriptorSignature, entry.crc32};
    memcpy(out, head, sizeof head);
    if (zip64) {
        uint64_t sizes[2] = {entry.packedSize, entry.size};
        memcpy(out + sizeof head, sizes, sizeof sizes);
        return sizeof head + sizeof sizes;
    }
    uint32_t sizes[2] = {entry.packedSize32, entry.size32};
    memcpy(out + sizeof head, sizes, sizeof sizes);
    return sizeof head + sizeof sizes;
}

}  // namespace

bool CZipFile::WriteOutput(HANDLE file, const void* bytes, DWORD count, const char* label)
{
    return WriteBlock(file, bytes, count, label);
}

bool CZipFile::Write(HANDLE file, const void* bytes, size_t count, const char* label)
{
    const size_t limit = 1 << 20;
    if (outputBuffer_.size() + count > limit && !Flush(file, label)) {
        return false;
    }
    if (count >= limit) {
        return WriteOutput(file, bytes, static_cast<DWORD>(count), label);
    }
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    outputBuffer_.insert(outputBuffer_.end(), p, p + count);
    return true;
}

bool CZipFile::Flush(HANDLE file, const char* label)
{
    if (outputBuffer_.empty()) {
        return true;
    }
    bool ok = WriteOutput(file, outputBuffer_.data(), static_cast<DWORD>(outputBuffer_.size()), label);
    outputBuffer_.clear();
    return ok;
}

bool CZipFile::CopyEntryData(Reader& source, HANDLE sourceFile, HANDLE output, uint64_t offset, uint64_t count,
                             const char* label)
{
    if (count <= Reader::kWindow) {
        uint8_t piece[4096];
        std::vector<uint8_t> bigger;
        uint8_t* buffer = piece;
        if (count > sizeof piece) {
            bigger.resize(static_cast<size_t>(count));
            buffer = bigger.data();
        }
        size_t got = 0;
        if (!source.ReadAt(offset, buffer, static_cast<size_t>(count), label, got)) {
            return false;
        }
        if (got != count) {
            SetErrorText(L"Read Error = " + Number(ERROR_HANDLE_EOF) + L" at CopyData");
            return false;
        }
        return Write(output, buffer, got, label);
    }
    // The size is the directory's claim: a buffer is taken for it only when
    // the archive holds that much data there.
    LARGE_INTEGER fileSize{};
    uint64_t available = GetFileSizeEx(sourceFile, &fileSize) && offset <= static_cast<uint64_t>(fileSize.QuadPart)
                             ? static_cast<uint64_t>(fileSize.QuadPart) - offset
                             : 0;
    if (count > available) {
        SetErrorText(L"Read Error = " + Number(ERROR_HANDLE_EOF) + L" at CopyData");
        return false;
    }
    return Flush(output, label) && SeekTo(sourceFile, offset, label) && CopyData(sourceFile, output, count);
}

bool CZipFile::Add(const WString& source, const WString& folder, int progressIcon)
{
    if (!PathExists(source)) {
        SetErrorText(source + L"\nが見つかりません");
        return false;
    }
    if (!CheckZlib()) {
        return false;
    }
    BusyCursor busy(*this, kAddCursor);
    WString base = folder.ReplaceAll(L'\\', L'/');
    if (!base.IsEmpty() && base.Last() != L'/') {
        base += L'/';
    }
    if (progressIcon == -1) {
        WString leaf = FileNamePart(source);
        if (!IsDirectory(source)) {
            return AddFile(source, base + leaf);
        }
        // A drive root has no name of its own: its contents go straight
        // into the folder.
        return AddFolder(source, leaf.IsEmpty() ? base : base + leaf + L"/");
    }
    // The compressed folder's own name is not part of the entry names: its
    // contents go to the archive's top level, or into the folder inside it.
    // A folder compressed only in part must not reach the archive: a failure
    // takes back the entries this call added.
    int pendingBefore = pending_.Count();
    ResetCollected();
    std::vector<WString> paths;
    std::vector<WString> names;
    bool ok = GatherFolder(source, base, true, paths, names);
    if (ok) {
        ProgressWindow progress(WString(L"zip に圧縮"), progressIcon);
        const SizeList& files = Collected();
        uint64_t done = 0;
        uint64_t total = CollectedTotal();
        ok = AddFiles(paths, names, [&](size_t i) {
            if (progress.ItemTextDue()) {
                progress.SetPathText(L"圧縮中 ", paths[i]);
            }
            done += files.ValueAt(static_cast<int>(i));
            progress.SetPosition(total == 0 ? 0 : static_cast<int>(done * 100 / total));
        });
        if (ok) {
            progress.ShowCompleted();
        }
    }
    while (!ok && pending_.Count() > pendingBefore) {
        pending_.RemoveAt(pending_.Count() - 1);
    }
    // A folder that holds nothing still makes the archive the user asked for.
    if (ok && !PathExists(ArchivePath())) {
        modified_ = true;
    }
    return ok;
}

bool CZipFile::AddFolder(const WString& folder, const WString& namePrefix)
{
    std::vector<WString> paths;
    std::vector<WString> names;
    bool listed = GatherFolder(folder, namePrefix, false, paths, names);
    // Files found before a folder that could not be listed are still added,
    // as they would be one by one.
    return AddFiles(paths, names, nullptr) && listed;
}

bool CZipFile::GatherFolder(const WString& folder, const WString& namePrefix, bool collect,
                            std::vector<WString>& paths, std::vector<WString>& names)
{
    return WalkFiles(
        folder,
        [&](const WString& path, const WString& below) {
            paths.push_back(path);
            names.push_back(namePrefix + below.ReplaceAll(L'\\', L'/'));
            return !collect || CollectFile(path);
        },
        [&](const WString& path, const WString& below) {
            // An empty folder that would be named by nothing is the archive's
            // top level itself.
            WString name = namePrefix + below.ReplaceAll(L'\\', L'/');
            return name.IsEmpty() || AddFolderEntry(path, name);
        });
}

bool CZipFile::AddFolderEntry(const WString& path, const WString& name)
{
    CompressedFile folder = DescribeFolder(path);
    return AppendCompressed(name, folder);
}

bool CZipFile::AddFiles(const std::vector<WString>& paths, const std::vector<WString>& names,
                        const std::function<void(size_t)>& added)
{
    if (paths.empty()) {
        return true;
    }
    if (!CheckZlib()) {
        return false;
    }
    ParallelCompressor compressor(zlib_, level_, compressionWorkers_, compressionBudget_);
    bool ok = compressor.Run(paths, [&](size_t i, CompressedFile& file) {
        if (!AppendCompressed(names[i], file)) {
            return false;
        }
        if (added) {
            added(i);
        }
        return true;
    });
    peakCompressionHeld_ = compressor.PeakHeld();
    return ok;
}

bool CZipFile::AddFile(const WString& path, const WString& name)
{
    if (!CheckZlib()) {
        return false;
    }
    OpenedFile opened = OpenForCompression(path);
    CompressedFile file = CompressOpened(opened, zlib_, level_);
    return AppendCompressed(name, file);
}

bool CZipFile::AppendCompressed(const WString& name, CompressedFile& file)
{
    for (const auto& failure : file.apiFailures) {
        SetLastError(failure.second);
        ReportApiFailure(FALSE, failure.first);
    }
    if (!file.ok) {
        SetErrorText(file.errorText);
        return false;
    }
    ArcEntry entry = EmptyArcEntry();
    entry.signature = kCentralHeaderSignature;
    entry.versionMadeBy = 20;
    entry.versionNeeded = 20;
    entry.method = file.method;
    entry.dosTime = file.dosTime;
    entry.dosDate = file.dosDate;
    entry.crc32 = file.crc;
    entry.packedSize32 = file.rawLength;
    entry.packedSize = file.rawLength;
    entry.size32 = file.size;
    entry.size = file.size;
    entry.nameLength = static_cast<uint16_t>(name.ToAnsi().Length());
    entry.externalAttributes = file.attributes;
    entry.headerOffset32 = 0xFFFFFFFE;
    entry.headerOffset = kNotYetWritten;
    entry.modifiedTime = file.written;
    entry.accessTime = file.accessed;
    entry.creationTime = file.created;
    if (!EncryptNewData(name, file, entry)) {
        return false;
    }
    entry.newDataIndex = blocks_.Push(file.raw.release(), static_cast<int>(file.rawLength));
    pending_.Insert(name, entry);
    return true;
}

bool CZipFile::Delete(const WString& entryPath)
{
    WString name = entryPath.ReplaceAll(L'\\', L'/');
    int index = FindEntry(name);
    if (index < 0) {
        SetErrorText(L"Delete " + entryPath + L"\nファイルが見つかりません");
        return false;
    }
    BusyCursor busy(*this, kListCursor);
    if (name.Last() == L'/') {
        for (int i = 0; i < entries_.Count(); ++i) {
            if (entries_.Name(i).StartsWith(name.c_str())) {
                entries_.ValueAt(i).deleted = true;
            }
        }
    } else {
        entries_.ValueAt(index).deleted = true;
    }
    modified_ = true;
    return true;
}

bool CZipFile::MergePending()
{
    for (int i = 0; i < pending_.Count(); ++i) {
        const WString& name = pending_.Name(i);
        int index = FindEntry(name);
        if (index < 0) {
            entries_.Insert(name, pending_.ValueAt(i));
            continue;
        }
        if (!entries_.ValueAt(index).deleted && name.Last() == L'/') {
            // Folders join without a question; one the archive had only
            // through the entries below it is written from now on.
            if (IsImpliedFolder(entries_.ValueAt(index))) {
                entries_.ValueAt(index) = pending_.ValueAt(i);
            }
            continue;
        }
        if (!entries_.ValueAt(index).deleted) {
            int answer = AskUser(L"パスの重複、置き換えますか？ path = " + name, nullptr, MB_YESNOCANCEL);
            if (answer == IDCANCEL) {
                return false;
            }
            if (answer != IDYES) {
                continue;
            }
        }
        entries_.ValueAt(index) = pending_.ValueAt(i);
    }
    pending_.Clear();
    return true;
}

bool CZipFile::Commit()
{
    if (committed_) {
        return true;
    }
    committed_ = true;
    BusyCursor busy(*this, kAddCursor);
    if (pending_.Count() == 0 && !modified_) {
        return true;
    }
    // Entries that were never read would be missing from the new archive.
    if (!ReadCompletely()) {
        SetErrorText(ArchivePath() + L"\nを最後まで読めなかったため、変更は書き込みません");
        return false;
    }
    if (!MergePending()) {
        return false;
    }
    ScopedFile source;
    WString outputPath = ArchivePath();
    WString realPath = ArchivePath();
    bool replacing = PathExists(ArchivePath());
    if (replacing && !HoldArchive(source, realPath)) {
        return false;
    }
    // Checked with the archive held open: from here on nobody can write it
    // until it is replaced.
    if (replacing ? !StillAsRead(source.Get()) : !StillAsRead()) {
        return false;
    }
    if (replacing) {
        // The new archive is built under a "~" name that no file has yet, so
        // that a file of the user's of that name is neither overwritten nor
        // removed when the commit fails; beside the archive itself, where a
        // link leads, so that it takes its place on the same volume.
        outputPath = ReserveFileBeside(realPath);
        if (outputPath.IsEmpty()) {
            SetErrorText(ParentDir(realPath) + L"\n作業ファイルを作れません Error Code = " + Number(GetLastError()));
            return false;
        }
    }
    // A new archive is made where none is; one that appeared meanwhile is
    // somebody else's and stays.
    ScopedFile output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, 0, nullptr, replacing ? TRUNCATE_EXISTING : CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!output) {
        if (replacing) {
            DeleteFileW(outputPath.c_str());
        }
        SetErrorText(L"CreateFile INVALID_HANDLE_VALUE for ~*.zip");
        return false;
    }
    uint64_t position = 0;
    std::vector<int> written;
    outputBuffer_.clear();
    bool ok = WriteEntries(source.Get(), output.Get(), position, written);
    uint64_t directoryStart = position;
    ok = ok && WriteCentralDirectory(output.Get(), position, written);
    ok = ok && WriteEndRecords(output.Get(), directoryStart, position, written.size());
    ok = ok && Flush(output.Get(), "EndOfCentralDir");
    outputBuffer_.clear();
    outputBuffer_.shrink_to_fit();
    bool closed = output.Reset();
    if (!ok || !ReportApiFailure(closed, "CloseHandle")) {
        // The archive itself was not touched; the partial output goes.
        DeleteFileW(outputPath.c_str());
        return false;
    }
    if (replacing) {
        ok = ReplaceArchive(source, realPath, outputPath);
    }
    return ok;
}

std::string CZipFile::StoredNameOf(ArcEntry& entry, const WString& name)
{
    if (entry.nameIndex < 0) {
        // A new entry: the code page when the name fits it, UTF-8 with flag
        // bit 11 when it does not, so that the name is not lost.
        bool utf8 = false;
        std::string bytes = EncodeStoredName(name, utf8);
        if (utf8) {
            entry.flags |= zip::kFlagUtf8Name;
        }
        entry.nameIndex = blocks_.Append(bytes.data(), static_cast<int>(bytes.size()));
    }
    return std::string(reinterpret_cast<const char*>(blocks_.Block(entry.nameIndex)),
                       static_cast<size_t>(blocks_.Size(entry.nameIndex)));
}

bool CZipFile::WriteEntries(HANDLE source, HANDLE output, uint64_t& position, std::vector<int>& written)
{
    Reader reader(*this, source);
    ULONGLONG lastPump = 0;
    for (int t = 0; t < entries_.Count(); ++t) {
        ArcEntry& entry = entries_.ValueAt(t);
        const WString& name = entries_.Name(t);
        // Folder entries the archive stores, or that were added, are written
        // again: an empty folder must outlive a change to the archive.
        if (entry.deleted || IsImpliedFolder(entry)) {
            continue;
        }
        // Windows are repainted between entries, but not more often than the
        // eye can tell: looking at the message queue costs more than writing
        // a small entry.
        ULONGLONG now = GetTickCount64();
        if (now - lastPump >= kPumpInterval) {
            PumpPending();
            lastPump = now;
        }
        AString ansiName = name.ToAnsi();
        const std::string storedName = StoredNameOf(entry, name);
        entry.nameLength = static_cast<uint16_t>(storedName.size());
        const uint8_t* oldLocal = blocks_.Block(entry.localExtraIndex);
        int oldLocalLength = blocks_.Size(entry.localExtraIndex);
        // A size is marked for Zip64 only when it does not fit; other
        // writers mark small sizes too. A local header that marks one size
        // marks both and carries both in its Zip64 block.
        entry.size32 = entry.size >= kZip64Marker32 ? kZip64Marker32 : static_cast<uint32_t>(entry.size);
        entry.packedSize32 =
            entry.packedSize >= kZip64Marker32 ? kZip64Marker32 : static_cast<uint32_t>(entry.packedSize);
        bool local64 = entry.size32 == kZip64Marker32 || entry.packedSize32 == kZip64Marker32;
        if (local64 && entry.versionNeeded < zip::kVersionZip64) {
            entry.versionNeeded = zip::kVersionZip64;
        }
        FILETIME none{};
        std::vector<uint8_t> extra = JoinExtra(
            zip::BuildExtra(local64, entry.size, local64, entry.packedSize, false, 0, false, none, none, none),
            zip::FilterExtra(oldLocal, static_cast<size_t>(oldLocalLength)));
        entry.localExtraIndex = extra.empty() ? -1 : blocks_.Append(extra.data(), static_cast<int>(extra.size()));

        zip::LocalHeader local;
        local.signature = zip::kLocalHeaderSignature;
        local.versionNeeded = entry.versionNeeded;
        local.flags = entry.flags;
        local.method = entry.method;
        local.dosTime = entry.dosTime;
        local.dosDate = entry.dosDate;
        local.crc32 = entry.crc32;
        local.packedSize32 = local64 ? kZip64Marker32 : entry.packedSize32;
        local.size32 = local64 ? kZip64Marker32 : entry.size32;
        local.nameLength = entry.nameLength;
        local.extraLength = static_cast<uint16_t>(extra.size());
        if (!Write(output, &local, sizeof local, Label("LocalHeader", ansiName).c_str()) ||
            !Write(output, storedName.data(), entry.nameLength, Label("FileName", ansiName).c_str()) ||
            (!extra.empty() && !Write(output, extra.data(), static_cast<DWORD>(extra.size()),
                                            Label("LHExtraField", ansiName).c_str()))) {
            return false;
        }
        if (entry.newDataIndex < 0) {
            if (source == INVALID_HANDLE_VALUE || source == nullptr) {
                SetErrorText(WString(L"元データーがありません"));
                return false;
            }
            uint64_t dataOffset = DataOffsetOf(entry);
            if (dataOffset == 0) {
                dataOffset = entry.headerOffset + sizeof local + entry.nameLength + oldLocalLength;
            }
            if (!CopyEntryData(reader, source, output, dataOffset, entry.packedSize, Label("Data", ansiName).c_str())) {
                return false;
            }
        } else if (!Write(output, blocks_.Block(entry.newDataIndex),
                                static_cast<DWORD>(blocks_.Size(entry.newDataIndex)),
                                Label("Data New", ansiName).c_str())) {
            return false;
        }
        size_t descriptorLength = 0;
        if (entry.flags & zip::kFlagDataDescriptor) {
            uint8_t descriptor[24];
            descriptorLength = DataDescriptor(entry, local64, descriptor);
            if (!Write(output, descriptor, descriptorLength, Label("DataDescriptor", ansiName).c_str())) {
                return false;
            }
        }
        entry.headerOffset = position;
        entry.headerOffset32 = position <= kOffsetLimit32 ? static_cast<uint32_t>(position) : kZip64Marker32;
        position += sizeof local + entry.nameLength + extra.size() + entry.packedSize + descriptorLength;
        written.push_back(t);
    }
    return true;
}

bool CZipFile::WriteCentralDirectory(HANDLE output, uint64_t& position, const std::vector<int>& written)
{
    for (int t : written) {
        ArcEntry& entry = entries_.ValueAt(t);
        AString ansiName = entries_.Name(t).ToAnsi();
        std::vector<uint8_t> extra = JoinExtra(
            zip::BuildExtra(entry.size32 == kZip64Marker32, entry.size, entry.packedSize32 == kZip64Marker32,
                            entry.packedSize, entry.headerOffset32 == kZip64Marker32, entry.headerOffset,
                            IsTimePresent(entry.modifiedTime), entry.modifiedTime, entry.accessTime,
                            entry.creationTime),
            zip::FilterExtra(blocks_.Block(entry.centralExtraIndex),
                             static_cast<size_t>(blocks_.Size(entry.centralExtraIndex))));
        entry.centralExtraIndex = extra.empty() ? -1 : blocks_.Append(extra.data(), static_cast<int>(extra.size()));
        entry.extraLength = static_cast<uint16_t>(extra.size());
        if (entry.headerOffset32 == kZip64Marker32 && entry.versionNeeded < zip::kVersionZip64) {
            entry.versionNeeded = zip::kVersionZip64;
        }
        const uint8_t* comment = blocks_.Block(entry.commentIndex);
        entry.commentLength = static_cast<uint16_t>(blocks_.Size(entry.commentIndex));
        if (!Write(output, &entry, kCentralHeaderSize, Label("CentralDir", ansiName).c_str()) ||
            !Write(output, blocks_.Block(entry.nameIndex), entry.nameLength,
                   Label("CentralDir Filename", ansiName).c_str()) ||
            (!extra.empty() && !Write(output, extra.data(), entry.extraLength,
                                            Label("CentralDir Extra Field", ansiName).c_str())) ||
            (comment && entry.commentLength > 0 &&
             !Write(output, comment, entry.commentLength, Label("CentralDir Comment", ansiName).c_str()))) {
            return false;
        }
        position += kCentralHeaderSize + entry.nameLength + entry.extraLength + entry.commentLength;
    }
    return true;
}

bool CZipFile::WriteEndRecords(HANDLE output, uint64_t directoryStart, uint64_t directoryEnd, uint64_t count)
{
    uint64_t directorySize = directoryEnd - directoryStart;
    uint32_t sizeField = directorySize < kOffsetLimit32 ? static_cast<uint32_t>(directorySize) : kZip64Marker32;
    uint32_t offsetField = directoryStart < kOffsetLimit32 ? static_cast<uint32_t>(directoryStart) : kZip64Marker32;
    uint16_t countField = count < 0xFFFF ? static_cast<uint16_t>(count) : 0xFFFF;
    if (sizeField == kZip64Marker32 || offsetField == kZip64Marker32 || countField == 0xFFFF) {
        int extensibleLength = blocks_.Size(zip64DataIndex_);
        zip::Zip64EndRecord record;
        record.signature = zip::kZip64EndRecordSignature;
        record.recordSize = 44 + static_cast<uint64_t>(extensibleLength);
        record.versionMadeBy = zip::kVersionZip64;
        record.versionNeeded = zip::kVersionZip64;
        record.diskNumber = 0;
        record.centralDirDisk = 0;
        record.entriesOnDisk = count;
        record.totalEntries = count;
        record.centralDirSize = directorySize;
        record.centralDirOffset = directoryStart;
        zip::Zip64Locator locator;
        locator.signature = zip::kZip64LocatorSignature;
        locator.endRecordDisk = 0;
        locator.endRecordOffset = directoryEnd;
        locator.totalDisks = 1;
        if (!Write(output, &record, sizeof record, "Z64EndOfCentralDir") ||
            (extensibleLength > 0 && !Write(output, blocks_.Block(zip64DataIndex_),
                                                  static_cast<DWORD>(extensibleLength), "Z64EndOfCentralDir Ex")) ||
            !Write(output, &locator, sizeof locator, "Z64EndOfCentralDirLoc")) {
            return false;
        }
    }
    int commentLength = blocks_.Size(archiveCommentIndex_);
    zip::EndRecord end;
    end.signature = zip::kEndRecordSignature;
    end.diskNumber = 0;
    end.centralDirDisk = 0;
    end.entriesOnDisk = countField;
    end.totalEntries = countField;
    end.centralDirSize = sizeField;
    end.centralDirOffset = offsetField;
    end.commentLength = static_cast<uint16_t>(commentLength);
    return Write(output, &end, sizeof end, "EndOfCentralDir") &&
           (commentLength == 0 || Write(output, blocks_.Block(archiveCommentIndex_),
                                              static_cast<DWORD>(commentLength), "EndOfCentralDir C"));
}

bool CZipFile::ReplaceArchive(ScopedFile& hold, const WString& realPath, const WString& temporary)
{
    DWORD code = ReplaceHeldArchive(hold, realPath, temporary);
    if (code != 0) {
        SetErrorText(ArchivePath() + L"\nを新しい内容で置き換えられませんでした（Error Code = " + Number(code) +
                     L"）\n元のアーカイブはそのまま残っています。新しい内容は " + temporary + L" にあります");
        return false;
    }
    return true;
}
