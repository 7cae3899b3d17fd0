#include "archive/work_copies.h"

#include <shlobj.h>

#include <algorithm>
#include <string>

#include "archive/arcfile.h"
#include "archive/zlib_binding.h"
#include "common/handles.h"
#include "common/paths.h"
#include "common/zone_mark.h"

namespace {

const wchar_t kRecordSuffix[] = L".zpkcopy";
// A record is a few hundred bytes; anything larger is not one of ours.
const size_t kLargestRecord = 64 * 1024;

uint64_t FileTimeValue(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

std::wstring Hex(uint64_t value)
{
    std::wstring text(16, L'0');
    for (int i = 15; i >= 0; --i, value >>= 4) {
        text[i] = L"0123456789abcdef"[value & 0xF];
    }
    return text;
}

bool ParseHex(const std::wstring& text, uint64_t& value)
{
    if (text.empty() || text.size() > 16) {
        return false;
    }
    value = 0;
    for (wchar_t unit : text) {
        int digit = unit >= L'0' && unit <= L'9'   ? unit - L'0'
                    : unit >= L'a' && unit <= L'f' ? unit - L'a' + 10
                                                   : -1;
        if (digit < 0) {
            return false;
        }
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

// The slot folder's name says whose it is: "<process id>-<start time>-<n>",
// so that a slot is known to be in use even before its record is written.
std::wstring SlotName(const ProcessIdentity& owner, int n)
{
    return std::to_wstring(owner.id) + L"-" + Hex(owner.started) + L"-" + std::to_wstring(n);
}

bool ParseSlotName(const WString& name, ProcessIdentity& owner)
{
    std::wstring text(name.c_str());
    size_t first = text.find(L'-');
    size_t second = first == std::wstring::npos ? first : text.find(L'-', first + 1);
    if (second == std::wstring::npos || first == 0 || first > 10) {
        return false;
    }
    for (size_t i = 0; i < first; ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return false;
        }
    }
    uint64_t started = 0;
    if (!ParseHex(text.substr(first + 1, second - first - 1), started) || second + 1 >= text.size()) {
        return false;
    }
    for (size_t i = second + 1; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return false;
        }
    }
    owner.id = static_cast<DWORD>(std::stoull(text.substr(0, first)));
    owner.started = started;
    return true;
}

// Values stand one to a line, so line ends and the escape itself are
// written as %0A, %0D and %25.
std::wstring Escaped(const WString& value)
{
    std::wstring out;
    for (int i = 0; i < value.Length(); ++i) {
        wchar_t unit = value.At(i);
        if (unit == L'%') {
            out += L"%25";
        } else if (unit == L'\n') {
            out += L"%0A";
        } else if (unit == L'\r') {
            out += L"%0D";
        } else {
            out += unit;
        }
    }
    return out;
}

WString Unescaped(const std::wstring& value)
{
    std::wstring out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value.compare(i, 3, L"%25") == 0) {
            out += L'%';
            i += 2;
        } else if (value.compare(i, 3, L"%0A") == 0) {
            out += L'\n';
            i += 2;
        } else if (value.compare(i, 3, L"%0D") == 0) {
            out += L'\r';
            i += 2;
        } else {
            out += value[i];
        }
    }
    return WString(out.c_str());
}

std::wstring RecordText(const WorkCopyRecord& record)
{
    std::wstring text;
    auto line = [&](const wchar_t* key, const std::wstring& value) { text += key + (L"=" + value) + L"\n"; };
    line(L"kind", std::to_wstring(static_cast<int>(record.kind)));
    line(L"owner", std::to_wstring(record.owner.id) + L" " + Hex(record.owner.started));
    line(L"archive", Escaped(record.archivePath));
    line(L"entry", Escaped(record.entryPath));
    line(L"entrysize", Hex(record.entrySize));
    if (record.entryCrcKnown) {
        line(L"entrycrc", Hex(record.entryCrc));
    }
    line(L"entrytime", Hex(FileTimeValue(record.entryTime)));
    line(L"copyname", Escaped(record.copyName));
    if (record.copyStamp.present) {
        line(L"copysize", Hex(record.copyStamp.size));
        line(L"copytime", Hex(FileTimeValue(record.copyStamp.lastWrite)));
    }
    if (record.copyCrcKnown) {
        line(L"copycrc", Hex(record.copyCrc));
    }
    line(L"zone", std::to_wstring(record.zoneId));
    return text;
}

bool ParseRecord(const std::wstring& text, WorkCopyRecord& record)
{
    record = WorkCopyRecord();
    bool kindSeen = false;
    bool ownerSeen = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L'\n', at);
        std::wstring line = text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
        at = end == std::wstring::npos ? text.size() : end + 1;
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) {
            continue;
        }
        std::wstring key = line.substr(0, equals);
        std::wstring value = line.substr(equals + 1);
        uint64_t number = 0;
        if (key == L"kind") {
            int kind = value == L"1" ? 1 : value == L"2" ? 2 : value == L"3" ? 3 : 0;
            if (kind == 0) {
                return false;
            }
            record.kind = static_cast<WorkCopyKind>(kind);
            kindSeen = true;
        } else if (key == L"owner") {
            size_t blank = value.find(L' ');
            uint64_t id = 0;
            if (blank == std::wstring::npos || !ParseHex(value.substr(blank + 1), record.owner.started) ||
                blank == 0 || blank > 10 || value.find_first_not_of(L"0123456789") != blank) {
                return false;
            }
            id = std::stoull(value.substr(0, blank));
            record.owner.id = static_cast<DWORD>(id);
            ownerSeen = true;
        } else if (key == L"archive") {
            record.archivePath = Unescaped(value);
        } else if (key == L"entry") {
            record.entryPath = Unescaped(value);
        } else if (key == L"copyname") {
            record.copyName = Unescaped(value);
        } else if (key == L"zone") {
            record.zoneId = value == L"3" ? 3 : value == L"4" ? 4 : value == L"1" ? 1 : value == L"2" ? 2 : 0;
        } else if (ParseHex(value, number)) {
            if (key == L"entrysize") {
                record.entrySize = number;
            } else if (key == L"entrycrc") {
                record.entryCrc = static_cast<uint32_t>(number);
                record.entryCrcKnown = true;
            } else if (key == L"entrytime") {
                record.entryTime = FileTimeOf(number);
            } else if (key == L"copysize") {
                record.copyStamp.size = number;
                record.copyStamp.present = true;
            } else if (key == L"copytime") {
                record.copyStamp.lastWrite = FileTimeOf(number);
            } else if (key == L"copycrc") {
                record.copyCrc = static_cast<uint32_t>(number);
                record.copyCrcKnown = true;
            }
        }
    }
    return kindSeen && ownerSeen;
}

bool ReadRecordFile(const WString& path, WorkCopyRecord& record)
{
    std::string bytes;
    bool read = ReadInPieces(path, [&](const uint8_t* piece, size_t count) {
        bytes.append(reinterpret_cast<const char*>(piece), count);
        return bytes.size() <= kLargestRecord;
    });
    if (!read || bytes.size() > kLargestRecord) {
        return false;
    }
    WString text = WString::FromUtf8(bytes.c_str(), static_cast<int>(bytes.size()));
    return ParseRecord(std::wstring(text.c_str()), record);
}

bool WriteFlushed(const WString& path, const std::string& bytes)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    bool written = file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                   done == bytes.size() && FlushFileBuffers(file.Get());
    return file.Reset() && written;
}

bool FolderCanBeWritten(const WString& folder)
{
    WString probe = ReserveNewFile(folder, WString(L"~zpkprobe"), WString(L".tmp"));
    if (probe.IsEmpty()) {
        return false;
    }
    DeleteFileW(probe.c_str());
    return true;
}

// The copy is taken over whole: when it changes while it is read (the
// editor saves again), it is read again.
bool CopyWhole(const WString& from, const WString& to)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (CopySharedFile(from, to)) {
            return true;
        }
        if (!PathExists(from)) {
            return false;
        }
    }
    return false;
}

}  // namespace

ProcessIdentity ProcessIdentity::Current()
{
    ProcessIdentity self;
    self.id = GetCurrentProcessId();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        self.started = FileTimeValue(created);
    }
    return self;
}

bool ProcessIdentity::IsRunning() const
{
    // A released slot has no owner.
    if (id == 0) {
        return false;
    }
    if (id == GetCurrentProcessId()) {
        return started == Current().started;
    }
    ScopedKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
    if (!process) {
        // A process that cannot be asked (another user's, say) may well be
        // running: only one known to be gone gives up its slots.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    if (WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT) {
        return false;
    }
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process.Get(), &created, &exited, &kernel, &user)) {
        return true;
    }
    return FileTimeValue(created) == started;
}

WString WorkFolderPath()
{
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return WString(temp, length <= MAX_PATH ? static_cast<int>(length) : 0) + L"ZPKWork";
}

bool WorkSlot::Create(const WString& workFolder, WorkCopyKind kind)
{
    return Create(workFolder, kind, ProcessIdentity::Current());
}

bool WorkSlot::Release()
{
    record_.owner = ProcessIdentity();
    return SaveRecord();
}

bool WorkSlot::Create(const WString& workFolder, WorkCopyKind kind, const ProcessIdentity& owner)
{
    if (!PathExists(workFolder)) {
        CreateDirectoryTree(workFolder, false);
    }
    record_ = WorkCopyRecord();
    record_.kind = kind;
    record_.owner = owner;
    static int counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        WString folder = JoinPath(workFolder, WString(SlotName(record_.owner, ++counter).c_str()));
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            folder_ = folder;
            if (SaveRecord()) {
                return true;
            }
            RemoveDirectoryW(folder.c_str());
            folder_.Clear();
            return false;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool WorkSlot::Open(const WString& folder)
{
    WorkSlot opened;
    opened.folder_ = folder;
    if (!ReadRecordFile(opened.RecordPath(), opened.record_)) {
        return false;
    }
    *this = opened;
    return true;
}

WString WorkSlot::CopyPath() const { return record_.copyName.IsEmpty() ? WString() : JoinPath(folder_, record_.copyName); }

WString WorkSlot::RecordPath() const { return folder_ + kRecordSuffix; }

bool WorkSlot::SaveRecord()
{
    if (folder_.IsEmpty()) {
        return false;
    }
    WString text(RecordText(record_).c_str());
    AString utf8 = text.ToUtf8();
    std::string bytes(utf8.c_str());
    WString next = RecordPath() + L".new";
    if (!WriteFlushed(next, bytes)) {
        DeleteFileW(next.c_str());
        return false;
    }
    if (!MoveFileExW(next.c_str(), RecordPath().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(next.c_str());
        return false;
    }
    return true;
}

void WorkSlot::Remove()
{
    if (folder_.IsEmpty()) {
        return;
    }
    CArcFile::RemovePath(folder_);
    // The record goes last: a slot whose removal was cut short still says
    // whose it was.
    if (!PathExists(folder_)) {
        DeleteFileW(RecordPath().c_str());
        DeleteFileW((RecordPath() + L".new").c_str());
    }
    folder_.Clear();
}

bool FileCrc32(const WString& path, uint32_t& crc)
{
    ZlibBinding zlib;
    if (!zlib.Load(ZlibBesideProgram()) || !zlib.Bind()) {
        return false;
    }
    uint32_t value = 0;
    bool read = ReadInPieces(path, [&](const uint8_t* bytes, size_t count) {
        value = zlib.Crc32(bytes, count, value);
        return true;
    });
    if (read) {
        crc = value;
    }
    return read;
}

CopyState CheckWorkCopy(const WorkCopyRecord& record, const WString& copyPath)
{
    FileStamp now = StampOf(copyPath);
    if (!now.present) {
        return CopyState::kMissing;
    }
    // A program that holds the file so that nobody can read it may still
    // be writing: its stamp says nothing yet.
    ScopedFile probe(CreateFileW(copyPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
        return CopyState::kUnreadable;
    }
    probe.Reset();
    if (record.copyStamp.present && SameStamp(record.copyStamp, now)) {
        return CopyState::kUnchanged;
    }
    if (!record.copyCrcKnown || now.size != record.copyStamp.size) {
        return CopyState::kChanged;
    }
    uint32_t crc = 0;
    if (!FileCrc32(copyPath, crc)) {
        return CopyState::kUnreadable;
    }
    return crc == record.copyCrc ? CopyState::kUnchanged : CopyState::kChanged;
}

namespace {

// What becomes of a slot whose process has ended.
enum class SlotFate { kRemove, kKeep, kKeepForUser };

SlotFate FateOf(const WorkSlot& slot)
{
    const WorkCopyRecord& record = slot.Record();
    if (record.kind != WorkCopyKind::kOpened) {
        return SlotFate::kRemove;
    }
    switch (CheckWorkCopy(record, slot.CopyPath())) {
    case CopyState::kMissing:
    case CopyState::kUnchanged:
        return SlotFate::kRemove;
    case CopyState::kUnreadable:
        return SlotFate::kKeep;
    case CopyState::kChanged:
        break;
    }
    // An archive that is only out of reach (a drive not plugged in) may
    // come back: the edit waits for it. One gone from a folder that is
    // still there was moved or deleted; the edit goes where it was.
    if (PathExists(record.archivePath) || !IsDirectory(ParentDir(record.archivePath))) {
        return SlotFate::kKeep;
    }
    return SlotFate::kKeepForUser;
}

bool IsRecordName(const WString& name, WString& slotName)
{
    const int suffix = static_cast<int>(wcslen(kRecordSuffix));
    if (name.Length() <= suffix || !name.EndsWith(kRecordSuffix)) {
        return false;
    }
    slotName = name.Left(name.Length() - suffix);
    return true;
}

}  // namespace

void SweepWorkFolder(const WString& workFolder)
{
    AttrStringList items(false);
    if (!ListDirectory(workFolder, items, WString(L"*"))) {
        return;
    }
    for (int i = 0; i < items.Count(); ++i) {
        const WString& name = items.Name(i);
        ProcessIdentity owner;
        WString slotName;
        bool isFolder = (items.ValueAt(i) & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && ParseSlotName(name, owner)) {
            WString folder = JoinPath(workFolder, name);
            WorkSlot slot;
            // The record says who holds the slot now; the name, who made it.
            bool recorded = slot.Open(folder);
            if ((recorded ? slot.Record().owner : owner).IsRunning()) {
                continue;
            }
            if (!recorded) {
                // Every slot gets its record before anything is put in it:
                // one without a record but with content is not ours to judge.
                AttrStringList inside(false);
                if (ListDirectory(folder, inside, WString(L"*")) && inside.Count() == 0) {
                    RemoveDirectoryW(folder.c_str());
                }
                continue;
            }
            SlotFate fate = FateOf(slot);
            if (fate == SlotFate::kKeepForUser) {
                const WorkCopyRecord& record = slot.Record();
                fate = KeepEditForUser(record.archivePath, slot.CopyPath(), record.copyName, record.zoneId).IsEmpty()
                           ? SlotFate::kKeep
                           : SlotFate::kRemove;
            }
            if (fate == SlotFate::kRemove) {
                slot.Remove();
            }
        } else if (!isFolder && IsRecordName(name, slotName) && ParseSlotName(slotName, owner) &&
                   !owner.IsRunning() && !PathExists(JoinPath(workFolder, slotName))) {
            // The record of a slot whose folder went already.
            DeleteFileW(JoinPath(workFolder, name).c_str());
        }
    }
}

std::vector<WString> PendingEditsOf(const WString& workFolder, const WString& archivePath)
{
    struct Found {
        uint64_t started;
        WString folder;
    };
    std::vector<Found> found;
    AttrStringList items(false);
    if (!ListDirectory(workFolder, items, WString(L"*"))) {
        return {};
    }
    for (int i = 0; i < items.Count(); ++i) {
        ProcessIdentity owner;
        if (!(items.ValueAt(i) & FILE_ATTRIBUTE_DIRECTORY) || !ParseSlotName(items.Name(i), owner)) {
            continue;
        }
        WorkSlot slot;
        WString folder = JoinPath(workFolder, items.Name(i));
        if (slot.Open(folder) && !slot.Record().owner.IsRunning() && slot.Record().kind == WorkCopyKind::kOpened &&
            SameNameIgnoringCase(slot.Record().archivePath, archivePath) &&
            CheckWorkCopy(slot.Record(), slot.CopyPath()) == CopyState::kChanged) {
            found.push_back(Found{owner.started, folder});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.started < b.started; });
    std::vector<WString> folders;
    for (const Found& f : found) {
        folders.push_back(f.folder);
    }
    return folders;
}

WString KeepEditForUser(const WString& archivePath, const WString& edit, const WString& fileName, int zoneId)
{
    WString base = BaseNamePart(fileName);
    WString extension = fileName.From(base.Length());
    auto keepIn = [&](const WString& folder) -> WString {
        if (!IsDirectory(folder) || !FolderCanBeWritten(folder)) {
            return WString();
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            WString target = UniqueDestination(JoinPath(folder, base), [&](const WString& path) {
                                 return PathExists(path + extension);
                             }) + extension;
            if (CopyWhole(edit, target)) {
                CarryZoneMarkOf(zoneId, archivePath, target);
                return target;
            }
            // Taken by somebody else between the look and the write, or the
            // edit cannot be read: try the next free name once more.
            if (!PathExists(edit)) {
                break;
            }
        }
        return WString();
    };
    WString kept = keepIn(ParentDir(archivePath));
    if (kept.IsEmpty()) {
        WString documents = SpecialFolderPath(CSIDL_PERSONAL, WString(L"Zupako"));
        if (!PathExists(documents)) {
            CreateDirectoryTree(documents, true);
        }
        kept = keepIn(documents);
    }
    return kept;
}
