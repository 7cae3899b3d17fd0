#include "common/paths.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "common/handles.h"
#include "common/messages.h"

bool IsDriveRoot(const WString& path)
{
    return path.Length() == 3 && path.At(1) == L':' && path.At(2) == L'\\';
}

WString Unquote(const WString& text)
{
    WString trimmed = text.Trimmed();
    if (trimmed.At(0) != L'"') {
        return trimmed;
    }
    // A quote that is never closed takes nothing else with it.
    bool closed = trimmed.Length() > 1 && trimmed.Last() == L'"';
    return trimmed.Mid(1, trimmed.Length() - (closed ? 2 : 1));
}

WString JoinPath(const WString& dir, const WString& name)
{
    if (IsDriveRoot(Unquote(dir))) {
        return dir + name;
    }
    return dir + L'\\' + name;
}

WString ParentDir(const WString& path)
{
    int at = path.FindLast(L'\\');
    if (at < 0) {
        return WString(L"", 0);
    }
    if (at == 2) {
        return Unquote(path.Left(3));
    }
    return Unquote(path.Left(at));
}

WString FileNamePart(const WString& path)
{
    int at = path.FindLast(L'\\');
    return at < 0 ? path : path.Mid(at + 1, path.Length());
}

WString ExtensionPart(const WString& path)
{
    int at = path.FindLast(L'.');
    return at < 0 ? WString(L"", 0) : path.Mid(at + 1, path.Length());
}

WString BaseNamePart(const WString& path)
{
    WString name = FileNamePart(path);
    int at = name.FindLast(L'.');
    return at < 0 ? name : name.Left(at);
}

WString ProgramFolder()
{
    // Long install paths are allowed: grow the buffer until the name fits.
    for (DWORD units = MAX_PATH;; units *= 2) {
        std::vector<wchar_t> name(units);
        DWORD length = GetModuleFileNameW(nullptr, name.data(), units);
        if (length < units) {
            return ParentDir(WString(name.data(), static_cast<int>(length)));
        }
    }
}

WString SpecialFolderPath(int folderId)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    if (folderId == -1) {
        DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, buffer);
        return n > 0 && n <= MAX_PATH ? WString(buffer) : WString(L"", 0);
    }
    PIDLIST_ABSOLUTE items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, &items))) {
        return WString(L"", 0);
    }
    WString result(L"", 0);
    if (SHGetPathFromIDListW(items, buffer)) {
        result = buffer;
    }
    CoTaskMemFree(items);
    return result;
}

WString SpecialFolderPath(int folderId, const WString& name) { return JoinPath(SpecialFolderPath(folderId), name); }

bool SameNameIgnoringCase(const WString& a, const WString& b)
{
    return CompareStringOrdinal(a.c_str(), a.Length(), b.c_str(), b.Length(), TRUE) == CSTR_EQUAL;
}

bool PathExists(const WString& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryTree(const WString& path, bool recursive)
{
    if (!recursive) {
        return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
    }
    WString existing = path;
    while (!PathExists(existing)) {
        if (IsDriveRoot(existing) || existing.IsEmpty()) {
            return false;
        }
        WString parent = ParentDir(existing);
        if (parent == existing) {
            return false;
        }
        existing = parent;
    }
    // Create every deeper prefix that ends before a backslash of the path.
    int from = existing.Length() + 1;
    for (int at = path.FindChar(L'\\', from); at >= 0; at = path.FindChar(L'\\', at + 1)) {
        if (!CreateDirectoryW(path.Left(at).c_str(), nullptr)) {
            return false;
        }
    }
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool ListDirectory(const WString& path, AttrStringList& list, const WString& pattern)
{
    if (!IsDirectory(path)) {
        return false;
    }
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileW(JoinPath(path, pattern).c_str(), &found));
    if (!search) {
        return false;
    }
    list.Clear();
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) {
            continue;
        }
        list.Insert(WString(found.cFileName), found.dwFileAttributes);
    } while (FindNextFileW(search.Get(), &found));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

bool CreateShortcut(const WString& target, const WString& linkPath, const WString& arguments, bool runAsAdministrator)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.ReceiveVoid()))) {
        return false;
    }
    if (FAILED(link->SetWorkingDirectory(ParentDir(target).c_str())) || FAILED(link->SetPath(target.c_str())) ||
        FAILED(link->SetArguments(arguments.c_str()))) {
        return false;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
        FAILED(file->Save(linkPath.c_str(), TRUE))) {
        return false;
    }
    if (!runAsAdministrator) {
        return true;
    }
    ComPtr<IShellLinkDataList> data;
    DWORD flags = 0;
    if (FAILED(link->QueryInterface(IID_IShellLinkDataList, data.ReceiveVoid())) || FAILED(data->GetFlags(&flags)) ||
        FAILED(data->SetFlags(flags | SLDF_RUNAS_USER))) {
        return false;
    }
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

bool MovePath(const WString& from, const WString& to, DWORD flags)
{
    return MoveFileExW(from.c_str(), to.c_str(), flags) != FALSE;
}

void SplitCommandLine(WString& program, WString& arguments, const WString& commandLine)
{
    WString line = commandLine.IsEmpty() ? WString(GetCommandLineW()) : commandLine;
    if (line.At(0) == L'"') {
        int close = line.FindChar(L'"', 1);
        if (close < 0) {
            program = Unquote(line.From(1));
            arguments = WString(L"", 0);
            return;
        }
        program = Unquote(line.Mid(1, close - 1));
        // The arguments may follow the closing quote after any number of
        // blanks, or none.
        arguments = line.From(close + 1).Trimmed();
        return;
    }
    int blank = line.FindChar(L' ');
    if (blank >= 0) {
        program = Unquote(line.Left(blank));
        arguments = line.From(blank + 1).Trimmed();
        return;
    }
    program = line;
    arguments = WString(L"", 0);
}

WString BuildCommandLine(const WString& program, const WString& arguments)
{
    WString line = program.FindChar(L' ') >= 0 ? L"\"" + program + L"\"" : program;
    if (!arguments.IsEmpty()) {
        line += L' ';
        line += arguments;
    }
    return line;
}

namespace {

// Width of the text in the device context's font, or -1 when it cannot be
// measured.
int TextWidth(HDC dc, const WString& text)
{
    SIZE size{};
    BOOL ok = GetTextExtentPoint32W(dc, text.c_str(), text.Length(), &size);
    ReportApiFailure(ok, "GTEP32");
    return ok ? size.cx : -1;
}

}  // namespace

WString CompactPath(HDC dc, const WString& path, int maxWidth)
{
    int width = TextWidth(dc, path);
    if (width >= 0 && width < maxWidth) {
        return path;
    }
    int headLength;
    if (path.At(1) == L':' && path.At(2) == L'\\') {
        headLength = 3;
    } else if (path.StartsWith(L"\\\\")) {
        int serverEnd = path.FindChar(L'\\', 2);
        int shareEnd = serverEnd > 2 ? path.FindChar(L'\\', serverEnd + 1) : -1;
        if (shareEnd < 0 || shareEnd == serverEnd + 1) {
            return WString(L"不正なファイル名");
        }
        headLength = shareEnd + 1;
    } else {
        return WString(L"不正なファイル名");
    }
    WString head = path.Left(headLength);
    WString rest = path.From(headLength);
    for (int at = rest.FindChar(L'\\'); at >= 0; at = rest.FindChar(L'\\')) {
        rest = rest.From(at + 1);
        WString candidate = head + L"...\\" + rest;
        int candidateWidth = TextWidth(dc, candidate);
        if (candidateWidth >= 0 && candidateWidth < maxWidth) {
            return candidate;
        }
    }
    return L"...\\" + rest;
}

WString ReserveNewFile(const WString& folder, const WString& stem, const WString& extension)
{
    const int kAttempts = 1000;
    for (int i = 1; i <= kAttempts; ++i) {
        WString name = i == 1 ? stem + extension : stem + L"-" + WString::FromInt(i) + extension;
        WString path = JoinPath(folder, name);
        ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return path;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) {
            break;
        }
    }
    return WString();
}

WString ReserveFileBeside(const WString& path)
{
    WString extension = ExtensionPart(FileNamePart(path));
    return ReserveNewFile(ParentDir(path), L"~" + BaseNamePart(path), extension.IsEmpty() ? WString() : L"." + extension);
}

WString UniqueDestination(const WString& wanted, const std::function<bool(const WString&)>& exists)
{
    if (!exists(wanted)) {
        return wanted;
    }
    for (int n = 2;; ++n) {
        WString candidate = wanted + L" (" + WString::FromInt(n) + L")";
        if (!exists(candidate)) {
            return candidate;
        }
    }
}
