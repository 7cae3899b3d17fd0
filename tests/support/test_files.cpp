#include "support/test_files.h"

#include "archive/arcfile.h"
#include "archive/zlib_binding.h"
#include "common/paths.h"

namespace {

int g_scratchCounter = 0;

}  // namespace

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

WString ZlibBesideProgram() { return JoinPath(ProgramFolder(), WString(ZlibLibraryName())); }

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
