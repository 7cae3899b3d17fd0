#include "common/zone_mark.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/handles.h"

namespace {

const wchar_t kStreamSuffix[] = L":Zone.Identifier";

// A mark is a few lines; anything longer than this is not one we read.
const DWORD kLargestMark = 64 * 1024;

std::wstring StreamText(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::wstring text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
        }
        return text;
    }
    // The keys and the zone are ASCII in every code page, which is all that
    // is read here.
    return std::wstring(bytes.begin(), bytes.end());
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t\r");
    size_t last = text.find_last_not_of(L" \t\r");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

bool SameKey(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

int ZoneIdIn(const std::wstring& text)
{
    bool inSection = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == L'[') {
            inSection = SameKey(line, L"[ZoneTransfer]");
            continue;
        }
        size_t equals = line.find(L'=');
        if (!inSection || equals == std::wstring::npos || !SameKey(Trimmed(line.substr(0, equals)), L"ZoneId")) {
            continue;
        }
        std::wstring value = Trimmed(line.substr(equals + 1));
        if (value.empty() || value.size() > 4 || value.find_first_not_of(L"0123456789") != std::wstring::npos) {
            return 0;
        }
        return std::stoi(value);
    }
    return 0;
}

}  // namespace

ZoneMark ReadZoneMark(const WString& path)
{
    ZoneMark mark;
    WString stream = path + kStreamSuffix;
    ScopedFile file(CreateFileW(stream.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestMark) {
        return mark;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        return mark;
    }
    bytes.resize(got);
    mark.zoneId = ZoneIdIn(StreamText(bytes));
    return mark;
}

std::string ZoneMarkText(const ZoneMark& mark, const WString& archivePath)
{
    return "[ZoneTransfer]\r\nZoneId=" + std::to_string(mark.zoneId) + "\r\nReferrerUrl=" +
           std::string(archivePath.ToAnsi().c_str()) + "\r\n";
}

bool WriteZoneMark(const WString& path, const ZoneMark& mark, const WString& archivePath)
{
    WString stream = path + kStreamSuffix;
    ScopedFile file(
        CreateFileW(stream.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string text = ZoneMarkText(mark, archivePath);
    DWORD written = 0;
    return WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}
