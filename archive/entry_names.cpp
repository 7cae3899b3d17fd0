#include "archive/entry_names.h"

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

bool IsSafeComponent(const WString& component)
{
    if (component.IsEmpty()) {
        return false;
    }
    bool onlyDotsAndBlanks = true;
    for (int i = 0; i < component.Length(); ++i) {
        wchar_t unit = component.At(i);
        if (unit < 0x20 || unit == L':' || unit == L'*' || unit == L'?' || unit == L'"' || unit == L'<' ||
            unit == L'>' || unit == L'|') {
            return false;
        }
        if (unit != L'.' && unit != L' ') {
            onlyDotsAndBlanks = false;
        }
    }
    return !onlyDotsAndBlanks && !IsDeviceName(component);
}

}  // namespace

bool IsSafeRelativeName(const WString& name)
{
    if (name.IsEmpty() || IsSeparator(name.At(0))) {
        return false;
    }
    int start = 0;
    for (int i = 0; i <= name.Length(); ++i) {
        if (i == name.Length() || IsSeparator(name.At(i))) {
            if (!IsSafeComponent(name.Mid(start, i - start))) {
                return false;
            }
            start = i + 1;
        }
    }
    return true;
}
