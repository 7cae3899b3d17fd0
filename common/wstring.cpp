#include "common/wstring.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/messages.h"

namespace {

int WideLength(const wchar_t* text) { return text ? static_cast<int>(wcslen(text)) : 0; }

}  // namespace

WString::WString() = default;
WString::WString(const wchar_t* text) : WString(text, WideLength(text)) {}
WString::WString(const wchar_t* text, int count) : StringBuffer(text, count) {}
WString::WString(const WString& other) = default;
WString::WString(WString&& other) noexcept : StringBuffer(static_cast<StringBuffer&&>(other)) {}

// Decodes code-page text; an empty string when there is nothing to decode or
// the bytes cannot be decoded.
WString WString::Decode(const char* text, int byteCount, UINT codePage, DWORD flags, bool reportFailure)
{
    if (!text) {
        return WString();
    }
    if (byteCount < 0) {
        byteCount = static_cast<int>(strlen(text));
    }
    if (byteCount == 0) {
        return WString(L"", 0);
    }
    int units = MultiByteToWideChar(codePage, flags, text, byteCount, nullptr, 0);
    if (reportFailure) {
        ReportApiFailure(units, "M2W");
    }
    if (units <= 0) {
        return WString(L"", 0);
    }
    WString result;
    result.Reserve(units + 1);
    MultiByteToWideChar(codePage, flags, text, byteCount, result.Text(), units);
    result.SetLength(units);
    return result;
}

WString WString::FromAnsi(const char* text, int byteCount, UINT codePage)
{
    return Decode(text, byteCount, codePage, 0, false);
}

WString WString::FromUtf8(const char* text, int byteCount)
{
    return Decode(text, byteCount, CP_UTF8, MB_ERR_INVALID_CHARS, true);
}

bool WString::TryDecode(const char* text, int byteCount, UINT codePage, WString& result)
{
    if (!text || byteCount < 0) {
        return false;
    }
    if (byteCount == 0) {
        result = WString(L"", 0);
        return true;
    }
    int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, byteCount, nullptr, 0);
    if (units <= 0) {
        return false;
    }
    WString decoded;
    decoded.Reserve(units + 1);
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, byteCount, decoded.Text(), units);
    decoded.SetLength(units);
    result = static_cast<WString&&>(decoded);
    return true;
}

WString WString::FromInt(long long value)
{
    wchar_t buffer[32];
    if (swprintf(buffer, 32, L"%lld", value) < 0) {
        return WString(L"error");
    }
    return WString(buffer);
}

WString& WString::operator=(const WString& other)
{
    CopyFrom(other);
    return *this;
}

WString& WString::operator=(WString&& other) noexcept
{
    TakeFrom(other);
    return *this;
}

WString& WString::operator=(const wchar_t* text)
{
    Assign(text ? text : L"", WideLength(text));
    return *this;
}

WString& WString::Append(const wchar_t* text, int count)
{
    AppendUnits(text, count);
    return *this;
}

WString& WString::operator+=(const WString& text) { return Append(text.Text(), text.length_); }
WString& WString::operator+=(const wchar_t* text) { return Append(text, WideLength(text)); }
WString& WString::operator+=(wchar_t unit) { return Append(&unit, 1); }

int WString::Find(const wchar_t* text, int start) const
{
    if (!text || start < 0 || start > length_) {
        return -1;
    }
    const wchar_t* hit = wcsstr(Text() + start, text);
    return hit ? static_cast<int>(hit - Text()) : -1;
}

int WString::FindChar(wchar_t unit, int start) const
{
    for (int i = start < 0 ? 0 : start; i < length_; ++i) {
        if (Text()[i] == unit) {
            return i;
        }
    }
    return -1;
}

int WString::FindLast(wchar_t unit) const
{
    for (int i = length_ - 1; i >= 0; --i) {
        if (Text()[i] == unit) {
            return i;
        }
    }
    return -1;
}

WString WString::Left(int n) const
{
    if (n < 0 || n > length_) {
        return WString(L"", 0);
    }
    return WString(Text(), n);
}

WString WString::From(int n) const
{
    if (n < 0 || n >= length_) {
        return WString(L"", 0);
    }
    return WString(Text() + n, length_ - n);
}

WString WString::Mid(int start, int count) const
{
    if (start < 0 || start > length_ || count < 0) {
        return WString(L"", 0);
    }
    if (count > length_ - start) {
        count = length_ - start;
    }
    return WString(Text() + start, count);
}

bool WString::SetAt(int i, wchar_t unit)
{
    if (i < 0 || i >= length_) {
        return false;
    }
    Text()[i] = unit;
    if (unit == L'\0') {
        length_ = i;
    }
    return true;
}

void WString::Clear()
{
    length_ = 0;
    // A string whose text was moved away has no buffer to end.
    if (Text()) {
        Text()[0] = L'\0';
    }
}

WString WString::Trimmed() const
{
    int begin = 0;
    int end = length_;
    while (begin < end && Text()[begin] == L' ') {
        ++begin;
    }
    while (end > begin && Text()[end - 1] == L' ') {
        --end;
    }
    return WString(Text() + begin, end - begin);
}

WString WString::Lower() const
{
    WString result(*this);
    if (result.length_ > 0) {
        CharLowerBuffW(result.Text(), result.length_);
    }
    return result;
}

bool WString::StartsWithNoCase(const wchar_t* prefix) const
{
    int n = WideLength(prefix);
    if (n > length_) {
        return false;
    }
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, Text(), n, prefix, n) == CSTR_EQUAL;
}

bool WString::StartsWith(const wchar_t* prefix) const
{
    int n = WideLength(prefix);
    return n <= length_ && wmemcmp(Text(), prefix, n) == 0;
}

bool WString::EndsWith(const wchar_t* suffix) const
{
    int n = WideLength(suffix);
    return n <= length_ && wmemcmp(Text() + length_ - n, suffix, n) == 0;
}

WString WString::ReplaceFirst(const wchar_t* from, const wchar_t* to) const
{
    int at = WideLength(from) > 0 ? Find(from) : -1;
    if (at < 0) {
        return *this;
    }
    WString result(Text(), at);
    result += to;
    result.Append(Text() + at + WideLength(from), length_ - at - WideLength(from));
    return result;
}

WString WString::ReplaceAll(const wchar_t* from, const wchar_t* to) const
{
    int fromLength = WideLength(from);
    if (fromLength == 0) {
        return *this;
    }
    WString result;
    int position = 0;
    for (int at = Find(from); at >= 0; at = Find(from, position)) {
        result.Append(Text() + position, at - position);
        result += to;
        position = at + fromLength;
    }
    result.Append(Text() + position, length_ - position);
    return result;
}

WString WString::ReplaceAll(wchar_t from, wchar_t to) const
{
    WString result(*this);
    for (int i = 0; i < result.length_; ++i) {
        if (result.Text()[i] == from) {
            result.Text()[i] = to;
        }
    }
    return result;
}

int WString::ToInt(int defaultValue) const
{
    int i = 0;
    while (i < length_ && Text()[i] == L' ') {
        ++i;
    }
    bool negative = false;
    if (i < length_ && (Text()[i] == L'-' || Text()[i] == L'+')) {
        negative = Text()[i] == L'-';
        ++i;
    }
    long long value = 0;
    for (; i < length_; ++i) {
        if (Text()[i] < L'0' || Text()[i] > L'9') {
            return defaultValue;
        }
        value = value * 10 + (Text()[i] - L'0');
        if (value > 0x80000000LL) {
            return defaultValue;
        }
    }
    value = negative ? -value : value;
    if (value > 0x7FFFFFFFLL) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

AString WString::ToAnsi(UINT codePage) const
{
    if (length_ == 0) {
        return AString("", 0);
    }
    int bytes = WideCharToMultiByte(codePage, 0, Text(), length_, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return AString("", 0);
    }
    std::vector<char> buffer(static_cast<size_t>(bytes));
    WideCharToMultiByte(codePage, 0, Text(), length_, buffer.data(), bytes, nullptr, nullptr);
    return AString(buffer.data(), bytes);
}

AString WString::ToUtf8() const { return ToAnsi(CP_UTF8); }

bool WString::operator==(const WString& other) const
{
    return length_ == other.length_ && wmemcmp(Text(), other.Text(), length_) == 0;
}

bool WString::operator==(const wchar_t* other) const
{
    int n = WideLength(other);
    return n == length_ && wmemcmp(Text(), other, n) == 0;
}

WString operator+(const WString& a, const WString& b)
{
    WString result(a.Text(), a.length_);
    return result.Append(b.Text(), b.length_), result;
}

WString operator+(const WString& a, const wchar_t* b)
{
    WString result(a.Text(), a.length_);
    result.Append(b, WideLength(b));
    return result;
}

WString operator+(const wchar_t* a, const WString& b)
{
    WString result(a);
    result.Append(b.Text(), b.length_);
    return result;
}

WString operator+(const WString& a, wchar_t b)
{
    WString result(a.Text(), a.length_);
    result.Append(&b, 1);
    return result;
}

AString::AString() = default;
AString::AString(const char* text) : AString(text, text ? static_cast<int>(strlen(text)) : 0) {}
AString::AString(const char* text, int count) : StringBuffer(text, count) {}
AString::AString(const AString& other) = default;
AString::AString(AString&& other) noexcept : StringBuffer(static_cast<StringBuffer&&>(other)) {}

AString& AString::operator=(const AString& other)
{
    CopyFrom(other);
    return *this;
}

AString& AString::operator=(AString&& other) noexcept
{
    TakeFrom(other);
    return *this;
}

AString& AString::operator=(const char* text)
{
    Assign(text ? text : "", text ? static_cast<int>(strlen(text)) : 0);
    return *this;
}

AString& AString::Append(const char* text, int count)
{
    AppendUnits(text, count);
    return *this;
}

AString& AString::operator+=(const AString& text) { return Append(text.Text(), text.length_); }
AString& AString::operator+=(const char* text) { return Append(text, text ? static_cast<int>(strlen(text)) : 0); }

bool AString::operator==(const char* other) const
{
    int n = other ? static_cast<int>(strlen(other)) : 0;
    return n == length_ && memcmp(Text(), other, n) == 0;
}

WString AString::ToWide(UINT codePage) const { return WString::FromAnsi(Text(), length_, codePage); }

WString HexString(const void* bytes, int count)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    WString result;
    for (int i = 0; i < count; ++i) {
        wchar_t pair[2] = {kDigits[p[i] >> 4], kDigits[p[i] & 0x0F]};
        result.Append(pair, 2);
    }
    return result;
}
