// Owned UTF-16 and code-page strings. Every Windows call of the programs
// takes WString text; AString exists only where a call or a file format
// needs bytes in a code page.
#pragma once

#include <windows.h>
#include <cstdint>

#include "common/string_buffer.h"

class AString;

class WString : public StringBuffer<wchar_t> {
public:
    // An empty string with room for 29 units.
    WString();
    WString(const wchar_t* text);
    WString(const wchar_t* text, int count);
    WString(const WString& other);
    WString(WString&& other) noexcept;

    // Code-page and UTF-8 text. A failed UTF-8 conversion is reported.
    static WString FromAnsi(const char* text, int byteCount = -1, UINT codePage = CP_ACP);
    static WString FromUtf8(const char* text, int byteCount = -1);
    // Strict decoding without a report: false when a byte sequence is not
    // valid in the code page (MB_ERR_INVALID_CHARS), result then untouched.
    static bool TryDecode(const char* text, int byteCount, UINT codePage, WString& result);
    // Decimal text of a number; "error" if it cannot be formatted.
    static WString FromInt(long long value);

    WString& operator=(const WString& other);
    WString& operator=(WString&& other) noexcept;
    WString& operator=(const wchar_t* text);
    WString& operator+=(const WString& text);
    WString& operator+=(const wchar_t* text);
    WString& operator+=(wchar_t unit);
    WString& Append(const wchar_t* text, int count);

    wchar_t At(int i) const { return (i >= 0 && i < length_) ? Text()[i] : L'\0'; }
    wchar_t Last() const { return length_ > 0 ? Text()[length_ - 1] : L'\0'; }

    // Position of the first occurrence at or after start, or -1.
    int Find(const wchar_t* text, int start = 0) const;
    int FindChar(wchar_t unit, int start = 0) const;
    int FindLast(wchar_t unit) const;

    // The first n units; empty when n < 0 or n > length.
    WString Left(int n) const;
    // Units from position n to the end; empty when n < 0 or n >= length.
    WString From(int n) const;
    WString Mid(int start, int count) const;
    // Refused outside the string; a NUL truncates.
    bool SetAt(int i, wchar_t unit);
    void Clear();

    // Leading and trailing U+0020 removed (tabs stay).
    WString Trimmed() const;
    WString Lower() const;
    // Case-insensitive comparison of the first units.
    bool StartsWithNoCase(const wchar_t* prefix) const;
    bool StartsWith(const wchar_t* prefix) const;
    bool EndsWith(const wchar_t* suffix) const;
    WString ReplaceFirst(const wchar_t* from, const wchar_t* to) const;
    WString ReplaceAll(const wchar_t* from, const wchar_t* to) const;
    WString ReplaceAll(wchar_t from, wchar_t to) const;

    // Decimal value; the default when anything but an optionally signed
    // number (after leading blanks) is there. An empty string gives 0.
    int ToInt(int defaultValue) const;

    AString ToAnsi(UINT codePage = CP_ACP) const;
    AString ToUtf8() const;

    bool operator==(const WString& other) const;
    bool operator==(const wchar_t* other) const;
    bool operator!=(const WString& other) const { return !(*this == other); }
    bool operator!=(const wchar_t* other) const { return !(*this == other); }

    friend WString operator+(const WString& a, const WString& b);
    friend WString operator+(const WString& a, const wchar_t* b);
    friend WString operator+(const wchar_t* a, const WString& b);
    friend WString operator+(const WString& a, wchar_t b);

private:
    static WString Decode(const char* text, int byteCount, UINT codePage, DWORD flags, bool reportFailure);
};

class AString : public StringBuffer<char> {
public:
    AString();
    AString(const char* text);
    AString(const char* text, int count);
    AString(const AString& other);
    AString(AString&& other) noexcept;
    AString& operator=(const AString& other);
    AString& operator=(AString&& other) noexcept;
    AString& operator=(const char* text);
    AString& operator+=(const AString& text);
    AString& operator+=(const char* text);
    AString& Append(const char* text, int count);

    bool operator==(const char* other) const;

    WString ToWide(UINT codePage = CP_ACP) const;
};

// Two lower-case hexadecimal digits per byte, in order.
WString HexString(const void* bytes, int count);
