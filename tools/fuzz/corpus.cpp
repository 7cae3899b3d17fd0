#include "tools/fuzz/corpus.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "common/handles.h"

uint64_t HashOf(const uint8_t* data, size_t size)
{
    uint64_t hash = 0xCBF29CE484222325ULL;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 0x100000001B3ULL;
    }
    return hash;
}

WString HashName(uint64_t hash)
{
    wchar_t text[20];
    wsprintfW(text, L"%08x%08x", static_cast<unsigned>(hash >> 32), static_cast<unsigned>(hash));
    return WString(text);
}

std::vector<Input> ReadFolder(const WString& folder, size_t maxLength, std::vector<WString>* names)
{
    std::vector<Input> inputs;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return inputs;
    }
    std::vector<WString> files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files.push_back(WString(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    // In name order, so that a run with the same seed meets them alike.
    std::sort(files.begin(), files.end(),
              [](const WString& a, const WString& b) { return wcscmp(a.c_str(), b.c_str()) < 0; });
    for (const WString& name : files) {
        Input bytes;
        if (!ReadFileBytes(folder + L"\\" + name, maxLength, bytes)) {
            continue;
        }
        inputs.push_back(std::move(bytes));
        if (names) {
            names->push_back(name);
        }
    }
    return inputs;
}

bool ReadFileBytes(const WString& path, size_t maxLength, Input& bytes)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    bytes.resize(maxLength);
    DWORD got = 0;
    bool ok = ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(maxLength), &got, nullptr) != FALSE;
    bytes.resize(got);
    return ok;
}

bool WriteFileBytes(const WString& path, const Input& bytes)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool Corpus::Add(const Input& input, bool save)
{
    uint64_t hash = HashOf(input.data(), input.size());
    if (!hashes_.insert(hash).second) {
        return false;
    }
    inputs_.push_back(input);
    if (save) {
        WriteFileBytes(folder_ + L"\\" + HashName(hash), input);
    }
    return true;
}

const Input& Corpus::Pick(Random& random) const
{
    size_t count = inputs_.size();
    if (count > 8 && random.OneIn(2)) {
        return inputs_[count - 1 - random.Below(std::min<size_t>(count, 32))];
    }
    return inputs_[random.Below(count)];
}
