#include "setup/cab_add.h"

#include "common/paths.h"
#include "common/progress.h"
#include "common/system.h"
#include "common_ids.h"

namespace {

bool SameName(const WString& a, const WString& b)
{
    return CompareStringOrdinal(a.c_str(), a.Length(), b.c_str(), b.Length(), TRUE) == CSTR_EQUAL;
}

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
        WString candidate = folder + FileNamePart(sources[i]);
        if (IsDirectory(sources[i])) {
            candidate += L'\\';
        }
        for (int j = 0; j < entryNames.Count(); ++j) {
            if (SameName(entryNames[j], candidate)) {
                return entryNames[j];
            }
        }
    }
    return WString();
}

bool AddFilesToCabinet(CCabFile& cabinet, const StringList& sources, const WString& folder,
                       const std::function<void()>& beforeWriting)
{
    StringList names(false);
    if (!cabinet.GetEntryNames(names)) {
        return false;
    }
    WString duplicate = FindDuplicateEntry(names, sources, folder);
    if (!duplicate.IsEmpty()) {
        cabinet.SetErrorText(L"パスが重複しているためマージできません。\n path = " + duplicate);
        return false;
    }
    beforeWriting();
    WString place = ParentDir(cabinet.ArchivePath());
    WString added = ReserveNewFile(place, WString(L"~tempadd"), WString(L".cab"));
    WString extension = ExtensionPart(FileNamePart(cabinet.ArchivePath()));
    WString merged = ReserveNewFile(place, L"~" + BaseNamePart(cabinet.ArchivePath()),
                                    extension.IsEmpty() ? WString() : L"." + extension);
    if (added.IsEmpty() || merged.IsEmpty()) {
        RemoveFile(added);
        RemoveFile(merged);
        cabinet.SetErrorText(place + L"\n作業ファイルを作れません Error Code = " + WString::FromInt(GetLastError()));
        return false;
    }
    bool built = cabinet.BuildCabinet(added, sources, folder, IDI_CABFILE);
    if (built && cabinet.Progress()) {
        cabinet.Progress()->SetText(WString(L"マージ中"));
    }
    bool done = built && cabinet.Merge(cabinet.ArchivePath(), added, merged, true);
    RemoveFile(added);
    done = done && cabinet.ReplaceArchive(merged);
    if (!done) {
        RemoveFile(merged);
        return false;
    }
    if (cabinet.Progress()) {
        cabinet.Progress()->SetPosition(100);
        cabinet.Progress()->SetText(WString(L"完了"));
        PumpPending();
        Sleep(500);
    }
    return true;
}
