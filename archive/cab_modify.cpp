// Changing an existing cabinet: entries marked for deletion and a changed
// entry registered for write-back are carried out when the object ends, by
// copying the untouched units and compressing again only the kept files of
// the touched ones; and the engine side of adding files to a cabinet.
#include "archive/cab_layout.h"
#include "archive/cabfile.h"
#include "archive/entry_names.h"
#include "common/desktop_icons.h"
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

bool CCabFile::ReplaceArchive(const WString& finished)
{
    DesktopIconKeeper keeper(ArchivePath());
    // One step: until the new file has the archive's name the old archive
    // is still there, and it stays when the move fails.
    if (!MoveFileExW(finished.c_str(), ArchivePath().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetErrorText(ArchivePath() + L"\n書庫ファイルを置き換えられません Error Code = " +
                     WString::FromInt(GetLastError()));
        return false;
    }
    keeper.Restore(ArchivePath());
    return true;
}

bool CCabFile::ExtractKeptFiles(const std::vector<bool>& touched, const WString& workTree, int& extracted)
{
    extracted = 0;
    WithoutZoneMarks unmarked(*this);
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        uint16_t unit = entries_.ValueAt(i).folder;
        if (unit >= touched.size() || !touched[unit] || deletions_.Find(name) >= 0) {
            continue;
        }
        // The name becomes a path below the work tree; one that would leave
        // it is refused, and with it the whole commit.
        NameFault fault = CheckEntryName(name);
        if (fault != NameFault::kNone) {
            SetErrorText(RefusedNameText(name, fault));
            return false;
        }
        int slash = name.FindLast(L'\\');
        WString destination = slash >= 0 ? JoinPath(workTree, name.Left(slash)) : workTree;
        // A kept file that cannot be extracted would be missing from the new
        // cabinet: stop, and the archive stays as it is.
        if (!Extract(destination, name, false)) {
            return false;
        }
        ++extracted;
    }
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
    // cabinet that changed since, they would copy the wrong data.
    if (!StillAsRead()) {
        return false;
    }
    std::vector<bool> touched(header_.cFolders, false);
    for (int i = 0; i < deletions_.Count(); ++i) {
        uint16_t unit = deletions_.ValueAt(i).folder;
        if (unit < touched.size()) {
            touched[unit] = true;
        }
    }
    WString workTree = JoinPath(WorkFolder(), L"~temp");
    DeleteFolderContents(workTree);
    RemoveDirectoryW(workTree.c_str());
    CreateDirectoryW(workTree.c_str(), nullptr);
    // Every unit whose kept files are extracted again is checked first, so
    // that a damaged one stops the commit before anything is decoded.
    int extracted = 0;
    if (!VerifyUnits(touched) || !ExtractKeptFiles(touched, workTree, extracted)) {
        return false;
    }
    // The new cabinet is built under a "~" name that no file has yet: a file
    // of the user's of that name is neither overwritten nor removed.
    WString target = ReserveFileBeside(ArchivePath());
    if (target.IsEmpty()) {
        SetErrorText(ParentDir(ArchivePath()) + L"\n作業ファイルを作れません Error Code = " +
                     WString::FromInt(GetLastError()));
        return false;
    }
    bool done = BuildChangedCabinet(touched, workTree, extracted, target) && StillAsRead() && ReplaceArchive(target);
    if (!done) {
        DeleteFileW(target.c_str());
    }
    return done;
}

bool CCabFile::BuildChangedCabinet(const std::vector<bool>& touched, const WString& workTree, int extracted,
                                   const WString& target)
{
    if (extracted == 0 && !modifiedRegistered_) {
        return RebuildWithoutUnits(touched, target);
    }
    WString kept = JoinPath(WorkFolder(), L"~temp.cab");
    if (!RebuildWithoutUnits(touched, kept)) {
        return false;
    }
    if (modifiedRegistered_) {
        WString folder = modifiedFolder_.Last() == L'\\' ? modifiedFolder_.Left(modifiedFolder_.Length() - 1)
                                                         : modifiedFolder_;
        NameFault fault = folder.IsEmpty() ? NameFault::kNone : CheckEntryName(folder);
        if (fault != NameFault::kNone) {
            SetErrorText(RefusedNameText(modifiedFolder_, fault));
            DeleteFileW(kept.c_str());
            return false;
        }
        WString destination = folder.IsEmpty() ? workTree : JoinPath(workTree, folder);
        if (!PathExists(destination)) {
            CreateDirectoryTree(destination, true);
        }
        WString moved = JoinPath(destination, FileNamePart(modifiedFile_));
        if (!MoveFileExW(modifiedFile_.c_str(), moved.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
            SetErrorText(modifiedFile_ + L"\nCompress File Open Error = " + WString::FromInt(GetLastError()));
            DeleteFileW(kept.c_str());
            return false;
        }
    }
    WString added = JoinPath(WorkFolder(), L"~tempadd.cab");
    bool compressed = SilentCompress(added, workTree);
    bool merged = compressed && Merge(kept, added, target, false);
    DeleteFileW(added.c_str());
    DeleteFileW(kept.c_str());
    return merged;
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
    // Both working files take names that nothing beside the cabinet has,
    // so that no file of the user's is overwritten or removed.
    WString place = ParentDir(ArchivePath());
    WString added = ReserveNewFile(place, WString(L"~tempadd"), WString(L".cab"));
    WString merged = ReserveFileBeside(ArchivePath());
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
    done = done && ReplaceArchive(merged);
    if (!done) {
        RemoveFile(merged);
        return false;
    }
    SetProgressPosition(100);
    ShowProgressCompleted();
    return true;
}

std::unique_ptr<CArcFile> OpenCabArchive(const WString& path) { return std::unique_ptr<CArcFile>(new CCabFile(path)); }
