// Extraction through the cabinet library's FDI: one file, one folder or the
// whole cabinet, each written below the chosen destination only.
#include "archive/cab_layout.h"
#include "archive/cabfile.h"
#include "archive/entry_names.h"
#include "common/dos_time.h"
#include "common/messages.h"
#include "common/paths.h"

using namespace cablayout;

struct FdiCallbacks {
    static INT_PTR DIAMONDAPI Open(char* name, int, int)
    {
        WString path = WString::FromAnsi(name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        // The library opens the next cabinet of a set by the name the
        // cabinet gives it: a device ("aux", "com1") would be read, and
        // could keep the extraction waiting for ever.
        if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
            CloseHandle(file);
            return -1;
        }
        return reinterpret_cast<INT_PTR>(file);
    }

    static INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notice)
    {
        CCabFile* cabinet = cablib::Current();
        if (cabinet == nullptr) {
            return -1;
        }
        switch (type) {
        case fdintPARTIAL_FILE:
            ++cabinet->noticedFiles_;
            return 0;
        case fdintCOPY_FILE: {
            int record = cabinet->noticedFiles_++;
            if (!cabinet->InPass(record)) {
                return 0;
            }
            return cabinet->keptFiles_ ? cabinet->OpenKeptOutput(record, notice->psz1, notice->cb)
                                       : cabinet->OpenOutput(notice->psz1, notice->attribs,
                                                             static_cast<uint32_t>(notice->cb));
        }
        case fdintCLOSE_FILE_INFO:
            return cabinet->CloseOutput(reinterpret_cast<HANDLE>(notice->hf), notice->date, notice->time,
                                        notice->attribs);
        case fdintNEXT_CABINET:
            // The next cabinet of a set is left to the library. When it is
            // missing, or not the cabinet the set needs, the library says
            // so and asks again, for as long as the answer is 0: that
            // notice ends the extraction instead of repeating for ever.
            return notice->fdie == FDIERROR_NONE ? 0 : -1;
        default:
            return 0;
        }
    }
};

namespace {

// Whether extracting the filter (empty: everything; ending in a backslash: a
// folder; else one file) takes the entry, and where below the extraction
// root it goes: its full name, its file name, or its path below the folder.
bool PlaceUnderFilter(const WString& entry, const WString& filter, WString& relative)
{
    if (filter.IsEmpty()) {
        relative = entry;
    } else if (entry == filter) {
        relative = filter.From(filter.FindLast(L'\\') + 1);
    } else if (filter.Last() == L'\\' && entry.StartsWith(filter.c_str())) {
        WString head = entry.Left(filter.Length());
        relative = entry.From(head.FindLast(L'\\') + 1);
    } else {
        return false;
    }
    return true;
}

// The unit whose data the library decodes for a file record, as it picks
// it: its own, or the last one for a file continued from or to another
// cabinet of a set; none (-1) in a cabinet without units, where the library
// would look for it in a list that is not there.
int DecodedUnit(uint16_t folder, size_t unitCount)
{
    if (unitCount == 0) {
        return -1;
    }
    return folder < unitCount ? folder : static_cast<int>(unitCount - 1);
}

}  // namespace

INT_PTR CCabFile::OpenOutput(const char* storedName, uint16_t attribs, uint32_t size)
{
    const char* text = storedName ? storedName : "";
    // The name as the listing gives it, so that the filter matches and the
    // file, its mark and the checks use the name Windows writes.
    WString entry =
        MappedEntryName((attribs & cab::kAttributeUtf8Name) ? WString::FromUtf8(text) : WString::FromAnsi(text));
    WString relative;
    if (!PlaceUnderFilter(entry, filter_, relative)) {
        return 0;
    }
    // The name decides where the file goes; one that would leave the
    // destination or name a device stops the extraction before anything is
    // written for it. The whole stored name is checked, not only the part
    // that becomes the path, so that both engines refuse the same entries.
    NameFault fault = CheckEntryName(entry);
    if (fault != NameFault::kNone) {
        refusedText_ = RefusedNameText(entry, fault);
        return -1;
    }
    WString path = extractRoot_ + relative;
    WString parent = ParentDir(path);
    if (!PathExists(parent)) {
        CreateDirectoryTree(parent, true);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    openOutput_ = path;
    openSize_ = size;
    return reinterpret_cast<INT_PTR>(file);
}

INT_PTR CCabFile::CloseOutput(HANDLE file, uint16_t date, uint16_t time, uint16_t attribs)
{
    // Wine's library gives the close notice of a file whose data failed
    // half-way like any other, and does not look at what its writes
    // return: a file shorter than its record is taken away, never left
    // behind as if it were the entry.
    LARGE_INTEGER written{};
    if (!GetFileSizeEx(file, &written) || static_cast<uint64_t>(written.QuadPart) != openSize_) {
        CloseHandle(file);
        unfinishedOutput_ = openOutput_;
        RemoveUnfinishedOutput();
        return FALSE;
    }
    // Before the times and attributes: writing the stream would change the
    // one, and a read-only file takes no new stream.
    CarryZoneMark(openOutput_);
    FILETIME utc = DosDateTimeToUtc(date, time);
    ReportApiFailure(SetFileTime(file, &utc, nullptr, &utc), "SetFileTime");
    ReportApiFailure(CloseHandle(file), "CloseHandle");
    // Only the read-only, hidden, system and archive bits are file
    // attributes; the others mark run-after-extraction and UTF-8 names.
    DWORD attributes = attribs & cab::kFileAttributeMask;
    ReportApiFailure(SetFileAttributesW(openOutput_.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL),
                     "SetFileAttributesW");
    openOutput_.Clear();
    return TRUE;
}

void CCabFile::RemoveUnfinishedOutput()
{
    if (!openOutput_.IsEmpty()) {
        DeleteFileW(openOutput_.c_str());
        openOutput_.Clear();
    }
}

std::vector<bool> CCabFile::UnitsOf(const WString& entryPath) const
{
    std::vector<bool> units(units_.size(), false);
    WString relative;
    for (int i = 0; i < entries_.Count(); ++i) {
        int unit = DecodedUnit(entries_.ValueAt(i).folder, units.size());
        if (unit >= 0 && PlaceUnderFilter(entries_.Name(i), entryPath, relative)) {
            units[static_cast<size_t>(unit)] = true;
        }
    }
    return units;
}

bool CCabFile::CheckFileExtents(const WString& entryPath)
{
    // The library decodes a unit block after block for as long as a file
    // wants bytes, past the unit's last block when it must: a file that
    // runs past its unit's data would have it decode whatever follows as
    // blocks, which no check has seen.
    std::vector<uint64_t> lengths(units_.size(), UINT64_MAX);
    ScopedFile file;
    WString relative;
    for (int i = 0; i < entries_.Count(); ++i) {
        const CabEntryRecord& entry = entries_.ValueAt(i);
        int unit = DecodedUnit(entry.folder, units_.size());
        if (!PlaceUnderFilter(entries_.Name(i), entryPath, relative)) {
            continue;
        }
        if (unit < 0) {
            SetErrorText(entries_.Name(i) + L"\n" + kFolderOutOfRange);
            return false;
        }
        uint64_t& length = lengths[static_cast<size_t>(unit)];
        if (length == UINT64_MAX) {
            if (!file) {
                file.Reset(OpenArchive());
                if (!file) {
                    return false;
                }
            }
            uint64_t packed = 0;
            if (!UnitTotals(file.Get(), units_[static_cast<size_t>(unit)], dataReserve_, packed, length)) {
                if (!HasError()) {
                    SetErrorText(WString(kOffsetOutside) + L"CFDATA");
                }
                return false;
            }
        }
        if (static_cast<uint64_t>(entry.offset) + entry.size > length) {
            SetErrorText(entries_.Name(i) + L"\n" + kOffsetOutside + L"CFFILE");
            return false;
        }
    }
    return true;
}

bool CCabFile::VerifyUnits(const std::vector<bool>& units)
{
    verifiedUnits_.resize(units_.size(), false);
    ScopedFile file;
    LARGE_INTEGER size{};
    for (size_t i = 0; i < units.size() && i < units_.size(); ++i) {
        if (!units[i] || verifiedUnits_[i]) {
            continue;
        }
        if (!file) {
            file.Reset(OpenArchive());
            if (!file) {
                return false;
            }
            ReportApiFailure(GetFileSizeEx(file.Get(), &size), "GetFileSizeEx");
        }
        // The checksum cannot see every change of MSZIP data, and damaged
        // data can make the library's decoder write out of bounds: zlib,
        // which checks what it decodes, decodes such a unit first.
        if (IsMszip(units_[i]) && !zlib_.IsBound() && !(zlib_.Load(ZlibBesideProgram()) && zlib_.Bind())) {
            SetErrorText(kZlibUnavailable);
            return false;
        }
        WString fault;
        if (!CheckDataBlocks(*this, file.Get(), static_cast<uint64_t>(size.QuadPart), static_cast<unsigned>(i),
                             units_[i], dataReserve_, BlockCheck::kChecksums, &zlib_, fault)) {
            SetErrorText(fault);
            return false;
        }
        verifiedUnits_[i] = true;
    }
    return true;
}

bool CCabFile::Extract(const WString& destination, const WString& entryPath, bool askBeforeOverwrite)
{
    WString target;
    if (!PrepareDestination(destination, entryPath, askBeforeOverwrite, target)) {
        return false;
    }
    if (damaged_) {
        // The reason was set when the directory was read; keep it.
        if (!HasError()) {
            SetErrorText(kNotCabinet);
        }
        return false;
    }
    if (!CheckFileExtents(entryPath)) {
        return false;
    }
    if (!VerifyUnits(UnitsOf(entryPath))) {
        return false;
    }
    filter_ = entryPath;
    extractRoot_ = destination;
    if (entryPath.Last() == L'\\') {
        WString trimmed = entryPath.Left(entryPath.Length() - 1);
        extractRoot_ = JoinPath(destination, trimmed.From(trimmed.FindLast(L'\\') + 1));
    }
    if (extractRoot_.Last() != L'\\') {
        extractRoot_ += L'\\';
    }
    return CopyThroughLibrary();
}

bool CCabFile::InPass(int record) const
{
    if (pass_ == CopyPass::kAll) {
        return true;
    }
    int unit = record < static_cast<int>(recordUnits_.size()) ? DecodedUnit(recordUnits_[record], units_.size()) : -1;
    bool mszip = unit >= 0 && IsMszip(units_[static_cast<size_t>(unit)]);
    return mszip == (pass_ == CopyPass::kMszip);
}

bool CCabFile::CopyThroughLibrary()
{
    // Wine's library keeps the state of its LZX and MSZIP decoders in one
    // place: an LZX unit decoded after an MSZIP one in the same copy takes
    // the MSZIP decoder's bytes for its window, and frees or writes through
    // them. A cabinet with units of both is copied twice, the MSZIP units
    // last, each copy taking only the files of its units.
    bool lzx = false;
    bool mszip = false;
    for (const cab::Folder& unit : units_) {
        lzx = lzx || (unit.typeCompress & cab::kCompressionMask) == cab::kCompressionLzx;
        mszip = mszip || IsMszip(unit);
    }
    if (!(lzx && mszip)) {
        return CopyPassThroughLibrary(CopyPass::kAll);
    }
    return CopyPassThroughLibrary(CopyPass::kAllButMszip) && CopyPassThroughLibrary(CopyPass::kMszip);
}

bool CCabFile::CopyPassThroughLibrary(CopyPass pass)
{
    pass_ = pass;
    noticedFiles_ = 0;
    cablib::OperationScope operation(this);
    if (!operation.Started()) {
        SetErrorText(L"ほかの cab 操作の実行中です");
        return false;
    }
    BusyCursor busy(*this, kExtractCursor);
    refusedText_.Clear();
    unfinishedOutput_.Clear();
    error_ = ERF{};

    ScopedFdiContext context(FDICreate(cablib::Allocate, cablib::Release, FdiCallbacks::Open, cablib::ReadCallback,
                                       cablib::WriteCallback, cablib::CloseCallback, cablib::SeekCallback, cpu80386,
                                       &error_));
    if (!context) {
        SetErrorText(L"FDICreate エラー" + WString::FromInt(error_.erfOper));
        return false;
    }
    BOOL isCabinet = FALSE;
    {
        // A commit holds the cabinet open for reading meanwhile.
        ScopedFile archive(CreateFileW(ArchivePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        FDICABINETINFO info{};
        isCabinet = archive && FDIIsCabinet(context.Get(), reinterpret_cast<INT_PTR>(archive.Get()), &info);
    }
    if (!isCabinet) {
        SetErrorText(L"FDIIsCabinet エラー" + WString::FromInt(error_.erfOper));
        return false;
    }

    WString folder = ParentDir(ArchivePath());
    if (folder.Last() != L'\\') {
        folder += L'\\';
    }
    AString cabinetName = FileNamePart(ArchivePath()).ToAnsi();
    AString cabinetPath = folder.ToAnsi();
    BOOL copied = FDICopy(context.Get(), const_cast<char*>(cabinetName.c_str()),
                          const_cast<char*>(cabinetPath.c_str()), 0, FdiCallbacks::Notify, nullptr,
                          const_cast<wchar_t*>(extractRoot_.c_str()));
    context.Reset();
    // A copy that stopped inside a file closed it without the notice.
    RemoveUnfinishedOutput();
    if (!refusedText_.IsEmpty()) {
        SetErrorText(refusedText_);
        return false;
    }
    if (!copied) {
        SetErrorText(L"FDICopy エラー Code = " + WString::FromInt(error_.erfOper));
        return false;
    }
    if (!unfinishedOutput_.IsEmpty()) {
        SetErrorText(unfinishedOutput_ + L"\n展開エラー");
        return false;
    }
    return error_.erfOper == 0;
}

INT_PTR CCabFile::OpenKeptOutput(int record, const char* storedName, long size)
{
    int position = record < static_cast<int>(keptPositions_.size()) ? keptPositions_[record] : -1;
    if (position < 0) {
        return 0;
    }
    KeptCabFile& file = (*keptFiles_)[position];
    // What the library offers under this place must be the file that was
    // read there; anything else would put content under another name.
    if (file.record.storedName != (storedName ? storedName : "") ||
        static_cast<uint32_t>(size) != file.record.fixed.cbFile) {
        refusedText_ = ArchivePath() + L"\nの内容が一覧と一致しないため、変更は書き込みません";
        return -1;
    }
    HANDLE output = CreateFileW(file.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        return -1;
    }
    openOutput_ = file.path;
    openSize_ = file.record.fixed.cbFile;
    file.extracted = true;
    return reinterpret_cast<INT_PTR>(output);
}

bool CCabFile::ExtractKeptFiles(std::vector<KeptCabFile>& kept)
{
    if (kept.empty()) {
        return true;
    }
    WithoutZoneMarks unmarked(*this);
    keptPositions_.assign(header_.cFiles, -1);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].index >= 0 && kept[i].index < static_cast<int>(keptPositions_.size())) {
            keptPositions_[kept[i].index] = static_cast<int>(i);
        }
    }
    keptFiles_ = &kept;
    filter_.Clear();
    extractRoot_.Clear();
    bool copied = CopyThroughLibrary();
    keptFiles_ = nullptr;
    keptPositions_.clear();
    if (!copied) {
        return false;
    }
    // Exactly the files that were read go into the new cabinet, each whole.
    for (const KeptCabFile& file : kept) {
        if (!file.extracted || StampOf(file.path).size != file.record.fixed.cbFile) {
            SetErrorText(ArchivePath() + L"\nの内容が一覧と一致しないため、変更は書き込みません");
            return false;
        }
    }
    return true;
}
