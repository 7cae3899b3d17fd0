#include "support/test_files.h"

#include "archive/arcfile.h"
#include "common/handles.h"
#include "common/paths.h"

#include <string>

namespace {

int g_scratchCounter = 0;

using UnixFileNameFunction = char* (*)(const wchar_t*);

// The host's name of a path when running under Wine, else empty.
std::string UnixFileName(const WString& path)
{
    auto convert = reinterpret_cast<UnixFileNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) {
        return std::string();
    }
    char* name = convert(path.c_str());
    std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs a program of the host under Wine. Its end cannot be waited for, so
// the caller watches for its effect.
bool RunHostProgram(const std::string& commandLine)
{
    std::wstring command = WString::FromUtf8(commandLine.c_str()).c_str();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    ScopedKernelHandle thread(process.hThread);
    ScopedKernelHandle running(process.hProcess);
    return true;
}

bool IsLink(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Whether a name is listed in its folder, as a link is even when what it
// points to is gone.
bool Listed(const WString& path)
{
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileW(path.c_str(), &found));
    return search.IsValid();
}

// Waits up to five seconds for a condition on a path.
bool WaitFor(const WString& path, bool (*condition)(const WString&), bool wanted)
{
    for (int i = 0; i < 100; ++i) {
        if (condition(path) == wanted) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

void AppendWalkOrder(const WString& folder, const WString& below, bool emptyFolders,
                     std::vector<std::wstring>& order)
{
    AttrStringList items(false);
    ListDirectory(folder, items, WString(L"*"));
    if (items.Count() == 0 && emptyFolders && !below.IsEmpty()) {
        order.push_back(below.c_str());
    }
    for (int i = 0; i < items.Count(); ++i) {
        if (items.ValueAt(i) & FILE_ATTRIBUTE_DIRECTORY) {
            AppendWalkOrder(JoinPath(folder, items.Name(i)), below + items.Name(i) + L"\\", emptyFolders, order);
        } else {
            order.push_back((below + items.Name(i)).c_str());
        }
    }
}

}  // namespace

std::vector<std::wstring> MakeMixedTree(const WString& root)
{
    const wchar_t* files[] = {L"b.txt", L"a\\x.txt", L"a\\n\\deep.txt", L"a\\w.txt", L"m\\y.txt", L"z.txt",
                              L"c\\q\\r.txt", L"c\\p.txt", L"k.txt"};
    for (const wchar_t* name : files) {
        WString path = JoinPath(root, WString(name));
        CreateDirectoryTree(ParentDir(path), true);
        WriteFileText(path, "data");
    }
    CreateDirectoryTree(JoinPath(root, WString(L"empty")), true);
    CreateDirectoryTree(JoinPath(root, WString(L"m\\hollow\\void")), true);
    return WalkOrder(root, false);
}

std::vector<std::wstring> WalkOrder(const WString& root, bool emptyFolders)
{
    std::vector<std::wstring> order;
    AppendWalkOrder(root, WString(), emptyFolders, order);
    return order;
}

ScratchFolder::ScratchFolder()
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = WString(temp) + L"scratch" + WString::FromInt(GetCurrentProcessId()) + L"_" +
            WString::FromInt(++g_scratchCounter);
    RemoveTree(path_);
    CreateDirectoryTree(path_, true);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

WString ScratchFolder::operator/(const wchar_t* name) const { return JoinPath(path_, WString(name)); }

void RemoveTree(const WString& path)
{
    if (!PathExists(path)) {
        return;
    }
    CArcFile::DeleteFolderContents(path);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

SymbolicLink::SymbolicLink(const WString& link, const WString& target) : link_(link)
{
    DWORD kind = IsDirectory(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), kind) && IsLink(link)) {
        return;
    }
    std::string unixLink = UnixFileName(link);
    std::string unixTarget = UnixFileName(target);
    if (!unixLink.empty() && !unixTarget.empty() &&
        RunHostProgram("Z:\\bin\\ln -s \"" + unixTarget + "\" \"" + unixLink + "\"")) {
        WaitFor(link, Listed, true);
    }
}

SymbolicLink::~SymbolicLink()
{
    if (!Listed(link_) || ((RemoveDirectoryW(link_.c_str()) || DeleteFileW(link_.c_str())) && !Listed(link_))) {
        return;
    }
    // Wine cannot take a host's link away through the Windows calls, nor
    // one whose folder is gone.
    std::string unixLink = UnixFileName(link_);
    if (!unixLink.empty() && RunHostProgram("Z:\\bin\\rm -f \"" + unixLink + "\"")) {
        WaitFor(link_, Listed, false);
    }
}

bool SymbolicLink::Made() const { return IsLink(link_); }

bool WriteFileBytes(const WString& path, const Bytes& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool WriteFileText(const WString& path, const std::string& text)
{
    return WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

bool NobodyHolds(const WString& path)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return file.IsValid();
}

Bytes ReadFileBytes(const WString& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Bytes();
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    Bytes bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty()) {
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    }
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

ByteBuilder& ByteBuilder::U8(uint8_t value)
{
    bytes_.push_back(value);
    return *this;
}

ByteBuilder& ByteBuilder::U16(uint16_t value)
{
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
    return *this;
}

ByteBuilder& ByteBuilder::U32(uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return *this;
}

ByteBuilder& ByteBuilder::U64(uint64_t value)
{
    for (int i = 0; i < 8; ++i) {
        bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return *this;
}

ByteBuilder& ByteBuilder::Text(const std::string& text)
{
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
}

ByteBuilder& ByteBuilder::Raw(const Bytes& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

ByteBuilder& ByteBuilder::Fill(size_t count, uint8_t value)
{
    bytes_.insert(bytes_.end(), count, value);
    return *this;
}

ByteBuilder& ByteBuilder::PatchU32(size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return *this;
}
