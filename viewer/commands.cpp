#include "viewer/commands.h"

#include "common/path_checks.h"
#include "common/paths.h"
#include "archive/arcfile.h"

WString ExpandArchiverArguments(const WString& arguments, const WString& shortPath, const WString& longPath)
{
    WString result;
    bool shortDone = false;
    bool longDone = false;
    bool quoted = false;
    for (int i = 0; i < arguments.Length(); ++i) {
        wchar_t unit = arguments.At(i);
        wchar_t next = arguments.At(i + 1);
        const WString* path = nullptr;
        if (unit == L'%' && next == L's' && !shortDone) {
            path = &shortPath;
            shortDone = true;
        } else if (unit == L'%' && next == L'l' && !longDone) {
            path = &longPath;
            longDone = true;
        }
        if (path) {
            result += quoted ? *path : L"\"" + *path + L"\"";
            ++i;
            continue;
        }
        if (unit == L'"') {
            quoted = !quoted;
        }
        result += unit;
    }
    return result;
}

WString EntryFolderOf(const WString& entryPath)
{
    int at = entryPath.FindLast(L'\\');
    return at < 0 ? WString() : entryPath.Left(at + 1);
}

WString WorkCopyName(const WString& entryPath)
{
    WString trimmed = entryPath.Last() == L'\\' ? entryPath.Left(entryPath.Length() - 1) : entryPath;
    WString name = FileNamePart(trimmed);
    return IsPlainFileName(name) ? name : WString();
}

void RemoveInside(const WString& folder, const WString& path)
{
    if (!IsStrictlyInside(folder, path)) {
        return;
    }
    CArcFile::RemovePath(path);
}
