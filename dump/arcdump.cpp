#include "dump/arcdump.h"

#include <algorithm>
#include <cstdio>

#include "common/messages.h"

namespace {

const char kProgramVersion[] = "ZPKSet.exe Ver.2.22\n";

}  // namespace

ArcDumpBase::ArcDumpBase(const WString& archivePath, const WString& reportPath) : archivePath_(archivePath)
{
    markers_.reserve(100);
    if (!report_.Open(reportPath)) {
        // Without a report there is nothing to write into; the dump fails.
        ReportApiFailure(FALSE, "CreateFile");
        return;
    }
    report_ << kProgramVersion << L"ファイル名：" << Ansi(archivePath_) << "\n\n";

    archive_.Reset(CreateFileW(archivePath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (!archive_.IsValid()) {
        DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION) {
            report_ << Ansi(archivePath_) << L"\nアーカイブファイル使用中\n";
        } else {
            report_ << "OpenArc Error = " << static_cast<unsigned long>(code) << "\n";
        }
        return;
    }
    LARGE_INTEGER size{};
    if (ReportApiFailure(GetFileSizeEx(archive_.Get(), &size), "GetFileSizeEx")) {
        fileSize_ = static_cast<uint64_t>(size.QuadPart);
    }
    char digits[32];
    hexWidth_ = snprintf(digits, sizeof digits, "%llx", static_cast<unsigned long long>(fileSize_));
}

ArcDumpBase::~ArcDumpBase()
{
    // An archive that never opened has no handle to close, so there is no
    // close failure to report either.
    if (archive_.IsValid() && !archive_.Reset()) {
        ReportApiFailure(FALSE, "CloseHandle");
    }
    report_.Close();
}

bool ArcDumpBase::Read(void* buffer, DWORD length, const char* label, bool shortAllowed, DWORD* got)
{
    if (got) {
        *got = 0;
    }
    if (length == 0) {
        return true;
    }
    DWORD read = 0;
    SetLastError(ERROR_SUCCESS);
    BOOL ok = ReadFile(archive_.Get(), buffer, length, &read, nullptr);
    DWORD code = GetLastError();
    if (got) {
        *got = read;
    }
    if (ok && (read == length || shortAllowed)) {
        return true;
    }
    // A read that succeeds but stops short has met the end of the file.
    WriteReadError(ok ? ERROR_HANDLE_EOF : code, read, label);
    return false;
}

void ArcDumpBase::WriteReadError(DWORD code, DWORD got, const char* label)
{
    report_ << "*** ERROR *** Read Error code = " << static_cast<unsigned long>(code)
            << " Read Length = " << static_cast<unsigned long>(got) << " at " << label << "\n";
}

bool ArcDumpBase::Seek(uint64_t offset, const char* label)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    // Offsets beyond what a file position can hold come from lying records.
    if (offset > static_cast<uint64_t>(INT64_MAX)) {
        report_ << "*** ERROR *** SetPointer Error code = " << static_cast<unsigned long>(ERROR_NEGATIVE_SEEK)
                << " at " << label << "\n";
        return false;
    }
    if (!SetFilePointerEx(archive_.Get(), to, nullptr, FILE_BEGIN)) {
        report_ << "*** ERROR *** SetPointer Error code = " << static_cast<unsigned long>(GetLastError()) << " at "
                << label << "\n";
        return false;
    }
    return true;
}

void ArcDumpBase::AddMarkerIndex(uint64_t offset, int kind, int typeIndex, int number)
{
    markers_.push_back(RegionMarker{offset, kind, typeIndex, number, sequence_++});
}

void ArcDumpBase::AddRegionIndex(int typeIndex, uint64_t offset, uint64_t length, int number)
{
    AddMarkerIndex(offset, kRegionStart, typeIndex, number);
    // A length that runs past the largest offset ends the region there.
    uint64_t end = length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
    AddMarkerIndex(end, kRegionEnd, typeIndex, number);
}

void ArcDumpBase::SetRecordTypeNames(const WString* names, int count)
{
    typeNames_ = names;
    typeNameCount_ = count;
}

WString ArcDumpBase::RegionLabel(const RegionMarker& marker) const
{
    WString name;
    if (typeNames_ && marker.typeIndex >= 0 && marker.typeIndex < typeNameCount_) {
        name = typeNames_[marker.typeIndex];
    }
    WString number;
    if (marker.number >= 0) {
        number = L" No." + WString::FromInt(static_cast<long long>(marker.number) + 1);
    }
    if (name.Find(L"%d") >= 0) {
        name = name.ReplaceFirst(L"%d", WString::FromInt(static_cast<long long>(marker.number) + 1));
        number.Clear();
    }
    return name + number + (marker.kind == kRegionStart ? L" 開始" : L" 終了");
}

void ArcDumpBase::WriteRegionLine(const RegionMarker& from, const RegionMarker& to, bool overlap)
{
    report_ << (overlap ? L"*** ERROR *** 重複書込領域 0x" : L"*** WARNING *** 不明領域 0x") << Hex(from.offset, hexWidth_)
            << " - 0x" << Hex(to.offset, hexWidth_) << L"：";
    if (from.offset == 0) {
        report_ << L"ファイルの先頭";
    } else {
        report_ << RegionLabel(from);
    }
    report_ << " - ";
    if (to.offset == fileSize_) {
        report_ << L"ファイルの末尾";
    } else {
        report_ << RegionLabel(to);
    }
    report_ << "\n";
}

void ArcDumpBase::RegionCheck()
{
    // Ordered by offset; at one offset the ends come before the starts, and
    // of equal markers the one registered last comes first.
    std::sort(markers_.begin(), markers_.end(), [](const RegionMarker& a, const RegionMarker& b) {
        if (a.offset != b.offset) {
            return a.offset < b.offset;
        }
        if (a.kind != b.kind) {
            return a.kind < b.kind;
        }
        return a.sequence > b.sequence;
    });
    const RegionMarker fileStart{0, kRegionStart, -1, -1, 0};
    const RegionMarker fileEnd{fileSize_, kRegionEnd, -1, -1, 0};
    if (markers_.empty()) {
        if (fileSize_ != 0) {
            WriteRegionLine(fileStart, fileEnd, false);
        }
    } else {
        if (markers_.front().offset != 0) {
            WriteRegionLine(fileStart, markers_.front(), false);
        }
        int depth = 0;
        for (size_t i = 0; i + 1 < markers_.size(); ++i) {
            depth += markers_[i].kind == kRegionStart ? 1 : -1;
            if (depth != 1 && markers_[i + 1].offset != markers_[i].offset) {
                WriteRegionLine(markers_[i], markers_[i + 1], depth != 0);
            }
        }
        const RegionMarker& last = markers_.back();
        depth += last.kind == kRegionStart ? 1 : -1;
        // A record that runs past the end of the file leaves no area after
        // it; a line from its end back to the file's end would be upside down.
        if (last.offset < fileSize_) {
            WriteRegionLine(last, fileEnd, depth != 0);
        }
    }
    report_ << Ansi(archivePath_) << L" 情報出力終了\n";
}
