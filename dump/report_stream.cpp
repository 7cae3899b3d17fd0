#include "dump/report_stream.h"

#include <cstdio>
#include <vector>

#include "common/format.h"

namespace {

// Reports of archives with many entries run to tens of megabytes; they are
// written in pieces of this size.
const size_t kFlushSize = 1 << 20;

}  // namespace

WString DecodeStoredName(const char* bytes, size_t count, UINT codePage)
{
    if (count == 0) {
        return WString(L"", 0);
    }
    int length = static_cast<int>(count);
    int units = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
    if (units <= 0) {
        return WString(L"", 0);
    }
    std::vector<wchar_t> text(units);
    MultiByteToWideChar(codePage, 0, bytes, length, text.data(), units);
    return WString(text.data(), units);
}

ReportStream::~ReportStream() { Close(); }

bool ReportStream::Open(const WString& path)
{
    Close();
    failed_ = false;
    file_.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_.IsValid();
}

bool ReportStream::Flush()
{
    if (!file_.IsValid() || buffer_.empty()) {
        buffer_.clear();
        return !failed_;
    }
    DWORD written = 0;
    if (!WriteFile(file_.Get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr) ||
        written != buffer_.size()) {
        failed_ = true;
    }
    buffer_.clear();
    return !failed_;
}

bool ReportStream::Close()
{
    if (!file_.IsValid()) {
        return !failed_;
    }
    Flush();
    if (!file_.Reset()) {
        failed_ = true;
    }
    return !failed_;
}

void ReportStream::Put(const char* bytes, size_t count)
{
    if (!file_.IsValid()) {
        return;
    }
    // Text mode: a line feed becomes CR LF. No trail byte of code page 932
    // is 0x0A, so multi-byte characters are never split.
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n') {
            buffer_ += '\r';
        }
        buffer_ += bytes[i];
    }
    if (buffer_.size() >= kFlushSize) {
        Flush();
    }
}

ReportStream& ReportStream::operator<<(const wchar_t* text) { return *this << WString(text); }

ReportStream& ReportStream::operator<<(const WString& text)
{
    AString bytes = text.ToAnsi(kReportCodePage);
    Put(bytes.c_str(), bytes.Length());
    return *this;
}

ReportStream& ReportStream::operator<<(const char* text)
{
    Put(text, strlen(text));
    return *this;
}

ReportStream& ReportStream::operator<<(const AnsiText& text)
{
    AString bytes = text.text.ToAnsi(CP_ACP);
    Put(bytes.c_str(), bytes.Length());
    return *this;
}

ReportStream& ReportStream::operator<<(const HexNumber& number)
{
    char text[40];
    int width = number.width < 0 ? 0 : (number.width > 32 ? 32 : number.width);
    snprintf(text, sizeof text, "%0*llx", width, static_cast<unsigned long long>(number.value));
    return *this << text;
}

ReportStream& ReportStream::operator<<(const PaddedNumber& number)
{
    char text[40];
    int width = number.width < 0 ? 0 : (number.width > 32 ? 32 : number.width);
    snprintf(text, sizeof text, "%*llu", width, static_cast<unsigned long long>(number.value));
    return *this << text;
}

ReportStream& ReportStream::operator<<(const GroupedNumber& number) { return *this << FormatGrouped(number.value); }

ReportStream& ReportStream::operator<<(const TimeText& time) { return *this << FormatFileTime(time.utc); }

ReportStream& ReportStream::Signed(long long value)
{
    char text[32];
    snprintf(text, sizeof text, "%lld", value);
    return *this << text;
}

ReportStream& ReportStream::Unsigned(unsigned long long value)
{
    char text[32];
    snprintf(text, sizeof text, "%llu", value);
    return *this << text;
}
