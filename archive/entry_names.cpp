#include "archive/entry_names.h"

#include <windows.h>

#include "common/path_checks.h"

namespace {

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

bool IsDeviceName(const WString& component)
{
    // Windows maps these names to devices whatever the extension and
    // trailing blanks: "nul.txt" and "COM1 " are devices too.
    int dot = component.FindChar(L'.');
    WString base = (dot >= 0 ? component.Left(dot) : component).Trimmed().Lower();
    static const wchar_t* const kDevices[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$", L"clock$"};
    for (const wchar_t* device : kDevices) {
        if (base == device) {
            return true;
        }
    }
    if (base.Length() == 4 && (base.StartsWith(L"com") || base.StartsWith(L"lpt"))) {
        wchar_t digit = base.At(3);
        // COM0 to COM9 and the superscript digits that Windows accepts as well.
        return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
    }
    return false;
}

NameFault CheckComponent(const WString& component)
{
    for (int i = 0; i < component.Length(); ++i) {
        wchar_t unit = component.At(i);
        if (unit == L':') {
            return NameFault::kLeavesFolder;
        }
        if (unit < 0x20 || unit == L'*' || unit == L'?' || unit == L'"' || unit == L'<' || unit == L'>' ||
            unit == L'|') {
            return NameFault::kInvalidCharacter;
        }
    }
    // Empty, or only dots and blanks: ".." and the names Windows would
    // turn into nothing, which is the folder itself.
    if (CreatedNameLength(component.c_str(), component.Length()) == 0) {
        return NameFault::kLeavesFolder;
    }
    return IsDeviceName(component) ? NameFault::kDeviceName : NameFault::kNone;
}

}  // namespace

NameFault CheckEntryName(const WString& name)
{
    if (name.IsEmpty() || IsSeparator(name.At(0))) {
        return NameFault::kLeavesFolder;
    }
    // A folder entry's one trailing separator ends the name, not an empty
    // component.
    int length = IsSeparator(name.Last()) ? name.Length() - 1 : name.Length();
    int start = 0;
    bool namesSomething = false;
    for (int i = 0; i <= length; ++i) {
        if (i == length || IsSeparator(name.At(i))) {
            WString component = name.Mid(start, i - start);
            start = i + 1;
            if (component == L".") {
                continue;
            }
            NameFault fault = CheckComponent(component);
            if (fault != NameFault::kNone) {
                return fault;
            }
            namesSomething = true;
        }
    }
    // Nothing but "." components: the destination itself, which no entry
    // may take the place of.
    return namesSomething ? NameFault::kNone : NameFault::kLeavesFolder;
}

void MapEntryName(std::vector<wchar_t>& units)
{
    size_t kept = 0;
    size_t start = 0;
    size_t count = units.size();
    for (size_t i = 0; i <= count; ++i) {
        if (i < count && !IsSeparator(units[i])) {
            continue;
        }
        size_t length = i - start;
        bool current = length == 1 && units[start] == L'.';
        if (!current) {
            size_t created = static_cast<size_t>(CreatedNameLength(units.data() + start, static_cast<int>(length)));
            size_t end = start + (created > 0 ? created : length);
            for (size_t k = start; k < end; ++k) {
                units[kept++] = units[k];
            }
            // The component goes with the separator that ends it.
            if (i < count) {
                units[kept++] = units[i];
            }
        }
        start = i + 1;
    }
    units.resize(kept);
}

WString MappedEntryName(const WString& name)
{
    std::vector<wchar_t> units(name.c_str(), name.c_str() + name.Length());
    MapEntryName(units);
    return units.empty() ? name : WString(units.data(), static_cast<int>(units.size()));
}

WString RefusedNameText(const WString& entry, NameFault fault)
{
    const wchar_t* reason = L"\n展開先フォルダーの外を指す名前のため展開できません";
    if (fault == NameFault::kDeviceName) {
        reason = L"\nWindows のデバイス名と同じ名前のため展開できません";
    } else if (fault == NameFault::kInvalidCharacter) {
        reason = L"\nファイル名に使えない文字を含むため展開できません";
    }
    return entry.ReplaceAll(L'/', L'\\') + reason;
}

std::string EncodeStoredName(const WString& name, bool& utf8)
{
    utf8 = false;
    if (name.IsEmpty()) {
        return std::string();
    }
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), name.Length(), nullptr, 0, nullptr, &lossy);
    if (bytes > 0 && !lossy) {
        std::string text(bytes, '\0');
        WideCharToMultiByte(CP_ACP, 0, name.c_str(), name.Length(), &text[0], bytes, nullptr, nullptr);
        return text;
    }
    utf8 = true;
    bytes = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), name.Length(), nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, name.c_str(), name.Length(), &text[0], bytes, nullptr, nullptr);
    }
    return text;
}
