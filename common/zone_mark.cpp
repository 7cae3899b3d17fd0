#include "common/zone_mark.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/handles.h"

namespace {

const wchar_t kStreamSuffix[] = L":Zone.Identifier";

// A mark is a few lines; a browser adds the download's addresses, which
// whoever serves the file chooses. What lies beyond this is not read.
const DWORD kLongestRead = 64 * 1024;

std::wstring Utf16Text(const std::vector<uint8_t>& bytes, size_t from, bool bigEndian)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        uint8_t high = bigEndian ? bytes[i] : bytes[i + 1];
        uint8_t low = bigEndian ? bytes[i + 1] : bytes[i];
        text.push_back(static_cast<wchar_t>(low | (high << 8)));
    }
    return text;
}

// The stream as text: UTF-16 in either byte order, with or without its
// byte order mark (told then by the zero bytes of its ASCII), else bytes of
// an ANSI code page or UTF-8, with or without a mark. The keys and the zone
// are ASCII in each of them, which is all that is read here.
std::wstring StreamText(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return Utf16Text(bytes, 2, false);
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return Utf16Text(bytes, 2, true);
    }
    if (bytes.size() >= 2 && (bytes[0] == 0) != (bytes[1] == 0)) {
        return Utf16Text(bytes, 0, bytes[0] == 0);
    }
    size_t from = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    return std::wstring(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end());
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t\r");
    size_t last = text.find_last_not_of(L" \t\r");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

bool SameKey(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

// The zone a "ZoneId" value gives. Windows writes the number alone; a
// value that is not a number, or has more after it, is not one Windows
// wrote, and counts as the internet at least, so that a mark nobody can
// read still warns.
int ZoneOfValue(const std::wstring& value)
{
    size_t digits = 0;
    while (digits < value.size() && value[digits] >= L'0' && value[digits] <= L'9') {
        ++digits;
    }
    if (digits == 0 || digits > 9) {
        return kInternetZone;
    }
    int zone = std::stoi(value.substr(0, digits));
    return digits == value.size() || zone > kInternetZone ? zone : kInternetZone;
}

// The zone of the "[ZoneTransfer]" section; 0 when the text has no such
// section, the internet when it has one whose zone cannot be read.
int ZoneIdIn(const std::wstring& text)
{
    bool inSection = false;
    bool sectionSeen = false;
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
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        size_t equals = line.find(L'=');
        if (inSection && equals != std::wstring::npos && SameKey(Trimmed(line.substr(0, equals)), L"ZoneId")) {
            return ZoneOfValue(Trimmed(line.substr(equals + 1)));
        }
    }
    return sectionSeen ? kInternetZone : 0;
}

}  // namespace

ZoneMark ReadZoneMark(const WString& path)
{
    ZoneMark mark;
    WString stream = path + kStreamSuffix;
    ScopedFile file(CreateFileW(stream.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return mark;
    }
    std::vector<uint8_t> bytes(kLongestRead);
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data(), kLongestRead, &got, nullptr)) {
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

bool CarryZoneMarkOf(int zoneId, const WString& archivePath, const WString& path)
{
    ZoneMark mark;
    mark.zoneId = zoneId;
    return !mark.Carried() || WriteZoneMark(path, mark, archivePath);
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
