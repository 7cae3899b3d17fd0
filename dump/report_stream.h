// The text file of a structural report. Its fixed texts are Shift-JIS
// (code page 932) whatever the system's code page is, because the reports
// are read on Japanese systems and compared between machines; names and paths
// from the archive or the file system are written in the ANSI code page, as
// the archive formats store them. Every "\n" is written as CR LF.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

#include "common/handles.h"
#include "common/wstring.h"

// The code page of the report's own texts.
const UINT kReportCodePage = 932;

// A name or path, written in the ANSI code page.
struct AnsiText {
    const WString& text;
};
// Lower-case hexadecimal, filled with '0' to width digits (0: no filling).
struct HexNumber {
    uint64_t value;
    int width;
};
// Decimal, right-aligned with blanks to width characters.
struct PaddedNumber {
    uint64_t value;
    int width;
};
// Digits with a comma every three.
struct GroupedNumber {
    uint64_t value;
};
// A UTC file time in the product's date format.
struct TimeText {
    FILETIME utc;
};

inline AnsiText Ansi(const WString& text) { return AnsiText{text}; }
inline HexNumber Hex(uint64_t value, int width = 0) { return HexNumber{value, width}; }
inline PaddedNumber Padded(uint64_t value, int width) { return PaddedNumber{value, width}; }
inline GroupedNumber Grouped(uint64_t value) { return GroupedNumber{value}; }
inline TimeText Time(const FILETIME& utc) { return TimeText{utc}; }

// Text of bytes stored in the ANSI code page (or UTF-8), never failing:
// undecodable bytes become replacement characters instead of an error box.
WString DecodeStoredName(const char* bytes, size_t count, UINT codePage = CP_ACP);

class ReportStream {
public:
    ReportStream() = default;
    ~ReportStream();
    ReportStream(const ReportStream&) = delete;
    ReportStream& operator=(const ReportStream&) = delete;

    // Creates or replaces the file; others may read and write it meanwhile.
    bool Open(const WString& path);
    bool IsOpen() const { return file_.IsValid(); }
    // Writes what is buffered and closes; false when any write failed.
    bool Close();

    // Fixed texts of the report, converted to code page 932.
    ReportStream& operator<<(const wchar_t* text);
    ReportStream& operator<<(const WString& text);
    // Plain ASCII.
    ReportStream& operator<<(const char* text);
    ReportStream& operator<<(const AnsiText& text);
    ReportStream& operator<<(const HexNumber& number);
    ReportStream& operator<<(const PaddedNumber& number);
    ReportStream& operator<<(const GroupedNumber& number);
    ReportStream& operator<<(const TimeText& time);
    ReportStream& operator<<(int value) { return Signed(value); }
    ReportStream& operator<<(long value) { return Signed(value); }
    ReportStream& operator<<(long long value) { return Signed(value); }
    ReportStream& operator<<(unsigned value) { return Unsigned(value); }
    ReportStream& operator<<(unsigned long value) { return Unsigned(value); }
    ReportStream& operator<<(unsigned long long value) { return Unsigned(value); }
    ReportStream& operator<<(unsigned short value) { return Unsigned(value); }

    // Bytes as they stand (already in the right code page).
    void Put(const char* bytes, size_t count);

private:
    ReportStream& Signed(long long value);
    ReportStream& Unsigned(unsigned long long value);
    bool Flush();

    ScopedFile file_;
    std::string buffer_;
    bool failed_ = false;
};
