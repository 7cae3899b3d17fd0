// Changing an existing cabinet: entries marked for deletion and a changed
// entry registered for write-back are carried out when the object ends, by
// copying the untouched units and compressing again only the kept files of
// the touched ones; and the engine side of adding files to a cabinet.
#include "archive/cab_layout.h"
#include "archive/cabfile.h"
#include "archive/entry_names.h"
#include "archive/work_copies.h"
#include "common/dos_time.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/progress.h"

using namespace cablayout;

CCabFile::CCabFile(const WString& archivePath, bool keepWorkFolder) : CCabFileEnum(archivePath, keepWorkFolder)
{
    if (HasError()) {
        return;
    }
    cablib::SetCurrent(this);
    settings_ = ReadCabSettings();
    compressionType_ = CompressionTypeWord(settings_);
    FillParameters(parameters_, archivePath, true);
}

CCabFile::~CCabFile()
{
    CommitChanges();
    progress_.reset();
    cablib::Forget(this);
}

bool CCabFile::Delete(const WString& entryPath)
{
    // A cabinet that cannot be rewritten must not collect changes that the
    // commit would then drop.
    if (!modifiable_) {
        return false;
    }
    BusyCursor busy(*this, kListCursor);
    bool marked = false;
    if (entryPath.Last() == L'\\') {
        for (int i = 0; i < entries_.Count(); ++i) {
            if (entries_.Name(i).StartsWith(entryPath.c_str())) {
                deletions_.Insert(entries_.Name(i), entries_.ValueAt(i));
                marked = true;
            }
        }
    } else {
        int at = entries_.Find(entryPath);
        if (at >= 0) {
            deletions_.Insert(entries_.Name(at), entries_.ValueAt(at));
            marked = true;
        }
    }
    return marked;
}

bool CCabFile::RegisterModifiedFile(const WString& localPath, const WString& entryFolder)
{
    if (!modifiable_) {
        return false;
    }
    if (modifiedRegistered_) {
        ShowError(L"Modify 重複");
        return false;
    }
    modifiedRegistered_ = true;
    modifiedFile_ = localPath;
    modifiedFolder_ = entryFolder;
    return true;
}

bool CCabFile::ReplaceArchive(ScopedFile& hold, const WString& realPath, const WString& finished)
{
    DWORD code = ReplaceHeldArchive(hold, realPath, finished);
    if (code != 0) {
        SetErrorText(ArchivePath() + L"\n書庫ファイルを置き換えられません Error Code = " + WString::FromInt(code));
        return false;
    }
    return true;
}

bool CCabFile::IsDeleted(const WString& name, uint16_t unit) const
{
    for (int i = 0; i < deletions_.Count(); ++i) {
        if (deletions_.ValueAt(i).folder == unit && deletions_.Name(i) == name) {
            return true;
        }
    }
    return false;
}

bool CCabFile::CollectKeptFiles(const ParsedCabinet& parsed, const std::vector<bool>& touched, const WString& tree,
                                std::vector<KeptCabFile>& kept)
{
    kept.clear();
    for (int i = 0; i < parsed.files.Count(); ++i) {
        const CabStoredFile& record = parsed.files.ValueAt(i);
        uint16_t unit = record.fixed.iFolder;
        if (unit >= touched.size() || !touched[unit] || IsDeleted(parsed.files.Name(i), unit)) {
            continue;
        }
        // The name is only carried over, never made a path; still, a name
        // that could not be extracted anywhere stops the commit, as it
        // stops every extraction.
        NameFault fault = CheckEntryName(parsed.files.Name(i));
        if (fault != NameFault::kNone) {
            SetErrorText(RefusedNameText(parsed.files.Name(i), fault));
            return false;
        }
        KeptCabFile file;
        file.index = i;
        file.record = record;
        file.path = JoinPath(tree, WString::FromInt(i));
        kept.push_back(file);
    }
    return true;
}

bool CCabFile::AddModifiedFile(const ParsedCabinet& parsed, const WString& tree, std::vector<KeptCabFile>& kept)
{
    WString folder = modifiedFolder_;
    if (!folder.IsEmpty() && folder.Last() != L'\\') {
        folder += L'\\';
    }
    WString trimmed = folder.IsEmpty() ? folder : folder.Left(folder.Length() - 1);
    NameFault fault = trimmed.IsEmpty() ? NameFault::kNone : CheckEntryName(trimmed);
    if (fault != NameFault::kNone) {
        SetErrorText(RefusedNameText(modifiedFolder_, fault));
        return false;
    }
    WString name = folder + FileNamePart(modifiedFile_);
    KeptCabFile file;
    file.path = JoinPath(tree, WString(L"changed"));
    // The engine takes a copy of its own: the caller's file stays theirs.
    if (!CopyFileW(modifiedFile_.c_str(), file.path.c_str(), TRUE)) {
        SetErrorText(modifiedFile_ + L"\nCompress File Open Error = " + WString::FromInt(GetLastError()));
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(file.path.c_str(), GetFileExInfoStandard, &data);
    const char* failedCall = nullptr;
    ReportApiFailure(UtcToDosDateTime(data.ftLastWriteTime, file.record.fixed.date, file.record.fixed.time, failedCall),
                     failedCall);
    file.record.fixed.attribs = static_cast<uint16_t>(data.dwFileAttributes & cab::kFileAttributeMask);
    // An edit of an entry goes back under the entry's own stored name, and
    // keeps its mark to be run after extraction.
    bool reused = false;
    for (int i = 0; i < parsed.files.Count() && !reused; ++i) {
        const CabStoredFile& record = parsed.files.ValueAt(i);
        if (parsed.files.Name(i) == name && IsDeleted(name, record.fixed.iFolder)) {
            file.record.storedName = record.storedName;
            file.record.fixed.attribs |= record.fixed.attribs & (cab::kAttributeExecute | cab::kAttributeUtf8Name);
            reused = true;
        }
    }
    if (!reused) {
        bool utf8 = false;
        file.record.storedName = EncodeStoredName(name, utf8);
        if (utf8) {
            file.record.fixed.attribs |= cab::kAttributeUtf8Name;
        }
    }
    file.extracted = true;
    kept.push_back(file);
    return true;
}

bool CCabFile::HasPendingChanges() const { return !committed_ && (deletions_.Count() > 0 || modifiedRegistered_); }

bool CCabFile::CommitChanges()
{
    if (committed_) {
        return true;
    }
    committed_ = true;
    if (sortingActive_ || sortQueue_.Count() > 0) {
        ShowError(L"サイズ順ソートエラー");
        return false;
    }
    if (deletions_.Count() == 0 && !modifiedRegistered_) {
        return true;
    }
    // Units and offsets come from the directory as it was read; over a
    // cabinet that changed since, they would copy the wrong data. Held from
    // the check on, it cannot change until it is replaced.
    ScopedFile hold;
    WString realPath;
    ParsedCabinet parsed;
    if (!HoldArchive(hold, realPath) || !StillAsRead(hold.Get()) || !ParseCabinet(hold.Get(), 0, parsed)) {
        return false;
    }
    std::vector<bool> touched(header_.cFolders, false);
    for (int i = 0; i < deletions_.Count(); ++i) {
        uint16_t unit = deletions_.ValueAt(i).folder;
        if (unit < touched.size()) {
            touched[unit] = true;
        }
    }
    // The working files lie in a slot of this process, which no other
    // action removes while it runs.
    WorkSlot scratch;
    if (!scratch.Create(WorkFolder(), WorkCopyKind::kScratch)) {
        SetErrorText(WorkFolder() + L"\n作業フォルダーを作れません Error Code = " + WString::FromInt(GetLastError()));
        return false;
    }
    WString tree = JoinPath(scratch.Folder(), L"~temp");
    CreateDirectoryW(tree.c_str(), nullptr);
    std::vector<KeptCabFile> kept;
    bool done = CollectKeptFiles(parsed, touched, tree, kept);
    // Every unit whose kept files are extracted again is checked first, so
    // that a damaged one stops the commit before anything is decoded; a
    // unit that goes as a whole is never decoded at all.
    std::vector<bool> decoded(header_.cFolders, false);
    for (const KeptCabFile& file : kept) {
        decoded[file.record.fixed.iFolder] = true;
    }
    done = done && VerifyUnits(decoded) && ExtractKeptFiles(kept) &&
           (!modifiedRegistered_ || AddModifiedFile(parsed, tree, kept));
    // The new cabinet is built under a "~" name that no file has yet: a file
    // of the user's of that name is neither overwritten nor removed.
    WString target;
    if (done) {
        target = ReserveFileBeside(realPath);
        if (target.IsEmpty()) {
            SetErrorText(ParentDir(realPath) + L"\n作業ファイルを作れません Error Code = " +
                         WString::FromInt(GetLastError()));
            done = false;
        }
    }
    done = done && BuildChangedCabinet(touched, scratch.Folder(), kept, target) &&
           ReplaceArchive(hold, realPath, target);
    if (!done && !target.IsEmpty()) {
        DeleteFileW(target.c_str());
    }
    scratch.Remove();
    return done;
}

bool CCabFile::CompressKeptFiles(const WString& target, std::vector<KeptCabFile>& kept)
{
    keptFiles_ = &kept;
    bool ok = CompressSilently(target, [&](void* context) {
        for (size_t i = 0; i < kept.size(); ++i) {
            if (!AddKeptToLibrary(context, static_cast<int>(i), kept[i]) ||
                (settings_.unitType == 2 && !CloseUnit(context))) {
                return false;
            }
        }
        return true;
    });
    keptFiles_ = nullptr;
    return ok;
}

bool CCabFile::BuildChangedCabinet(const std::vector<bool>& touched, const WString& scratch,
                                   std::vector<KeptCabFile>& kept, const WString& target)
{
    if (kept.empty()) {
        return RebuildWithoutUnits(touched, target);
    }
    WString untouched = JoinPath(scratch, L"~temp.cab");
    WString added = JoinPath(scratch, L"~tempadd.cab");
    // The cabinet's own files come back under the names they had, side by
    // side with names that differ only in case: no duplicate check here.
    return RebuildWithoutUnits(touched, untouched) && CompressKeptFiles(added, kept) &&
           Merge(untouched, added, target, false, false);
}

namespace {

void RemoveFile(const WString& path)
{
    if (!path.IsEmpty()) {
        DeleteFileW(path.c_str());
    }
}

}  // namespace

WString FindDuplicateEntry(const StringList& entryNames, const StringList& sources, const WString& folder)
{
    for (int i = 0; i < sources.Count(); ++i) {
        // A drive root has no name of its own: what it holds arrives.
        AttrStringList arriving(false);
        if (IsDriveRoot(sources[i])) {
            ListDirectory(sources[i], arriving, WString(L"*"));
        } else {
            arriving.Insert(FileNamePart(sources[i]), IsDirectory(sources[i]) ? FILE_ATTRIBUTE_DIRECTORY : 0);
        }
        for (int k = 0; k < arriving.Count(); ++k) {
            WString candidate = folder + arriving.Name(k);
            if (arriving.ValueAt(k) & FILE_ATTRIBUTE_DIRECTORY) {
                candidate += L'\\';
            }
            for (int j = 0; j < entryNames.Count(); ++j) {
                if (SameNameIgnoringCase(entryNames[j], candidate)) {
                    return entryNames[j];
                }
            }
        }
    }
    return WString();
}

bool CCabFile::AddToCabinet(const StringList& sources, const WString& folder, int progressIcon,
                            const std::function<void()>& beforeWriting)
{
    // The reason was set when the directory was read; keep it.
    if (damaged_) {
        return false;
    }
    WString prefix = folder;
    if (!prefix.IsEmpty() && prefix.Last() != L'\\') {
        prefix += L'\\';
    }
    StringList names(false);
    GetEntryNames(names);
    WString duplicate = FindDuplicateEntry(names, sources, prefix);
    if (!duplicate.IsEmpty()) {
        SetErrorText(L"パスが重複しているためマージできません。\n path = " + duplicate);
        return false;
    }
    if (beforeWriting) {
        beforeWriting();
    }
    // From here to the replacement, nobody else writes the cabinet; the
    // working files go beside it where a link leads.
    ScopedFile hold;
    WString realPath;
    if (!HoldArchive(hold, realPath)) {
        return false;
    }
    // Both working files take names that nothing beside the cabinet has,
    // so that no file of the user's is overwritten or removed.
    WString place = ParentDir(realPath);
    WString added = ReserveNewFile(place, WString(L"~tempadd"), WString(L".cab"));
    WString merged = ReserveFileBeside(realPath);
    if (added.IsEmpty() || merged.IsEmpty()) {
        RemoveFile(added);
        RemoveFile(merged);
        SetErrorText(place + L"\n作業ファイルを作れません Error Code = " + WString::FromInt(GetLastError()));
        return false;
    }
    bool done = BuildCabinet(added, sources, prefix, progressIcon);
    if (done) {
        SetProgressText(L"マージ中");
    }
    done = done && Merge(ArchivePath(), added, merged, true);
    RemoveFile(added);
    done = done && ReplaceArchive(hold, realPath, merged);
    if (!done) {
        RemoveFile(merged);
        return false;
    }
    SetProgressPosition(100);
    ShowProgressCompleted();
    return true;
}

std::unique_ptr<CArcFile> OpenCabArchive(const WString& path) { return std::unique_ptr<CArcFile>(new CCabFile(path)); }
