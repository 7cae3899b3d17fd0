// Joining cabinets at the level of compression units: the parser that
// reads a cabinet's directory with its units' extents, the writer that lays
// out new records and copies the units' data blocks byte for byte, the
// merge of two cabinets and the rebuild of one without some of its units.
#include "archive/cab_layout.h"
#include "archive/entry_names.h"
#include "archive/cabfile.h"
#include "common/paths.h"

using namespace cablayout;

namespace {

uint64_t FileSizeOf(HANDLE file)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

WString CodeText(DWORD code) { return WString::FromInt(static_cast<long long>(code)); }

}  // namespace

bool CCabFile::ParseCabinet(HANDLE file, int source, ParsedCabinet& parsed)
{
    DWORD got = 0;
    if (!ReadBlock(file, &parsed.header, sizeof parsed.header, "CFHEADER", &got)) {
        return false;
    }
    if (got != sizeof parsed.header || parsed.header.signature != cab::kSignature) {
        SetErrorText(kNotCabinet);
        return false;
    }
    uint64_t position = sizeof(cab::Header);
    if (parsed.header.flags & cab::kFlagReservePresent) {
        cab::ReserveSizes reserve{};
        if (!ReadBlock(file, &reserve, sizeof reserve, "CFHEADERRESERVE", &got)) {
            return false;
        }
        if (got != sizeof reserve || reserve.cbCFFolder != 0 || reserve.cbCFData != 0) {
            SetErrorText(kReserveInUnits);
            return false;
        }
        position = reserve.cbCFHeader + 40u;
        if (!SeekTo(file, position, "CFHEADERRESERVE cbCFHeader")) {
            return false;
        }
    }
    if (!SkipSetNames(*this, file, parsed.header, position)) {
        return false;
    }
    uint64_t fileSize = FileSizeOf(file);
    if (position > fileSize) {
        SetErrorText(WString(kOffsetOutside) + L"CFHEADER OPT");
        return false;
    }
    parsed.optionalPart.assign(static_cast<size_t>(position - sizeof(cab::Header)), 0);
    if (!parsed.optionalPart.empty()) {
        if (!SeekTo(file, sizeof(cab::Header), "CFHEADER OPT") ||
            !ReadBlock(file, parsed.optionalPart.data(), static_cast<DWORD>(parsed.optionalPart.size()),
                       "CFHEADER OPT", &got)) {
            return false;
        }
    }

    parsed.units.clear();
    for (unsigned i = 0; i < parsed.header.cFolders; ++i) {
        CabUnit unit{};
        if (!ReadBlock(file, &unit.record, sizeof unit.record, "CFFOLDER", &got)) {
            return false;
        }
        if (got != sizeof unit.record) {
            SetErrorText(WString(kOffsetOutside) + L"CFFOLDER");
            return false;
        }
        unit.source = source;
        unit.start = unit.record.coffCabStart;
        parsed.units.push_back(unit);
    }

    // The file records are read where the header says they are.
    position = parsed.header.coffFiles;
    if (!SeekTo(file, position, "CFFILE")) {
        return false;
    }
    parsed.files.Clear();
    for (unsigned i = 0; i < parsed.header.cFiles; ++i) {
        cab::File fixed{};
        uint8_t window[kNameWindow] = {};
        DWORD nameBytes = 0;
        if (!ReadBlock(file, &fixed, sizeof fixed, "CFFILE", &got)) {
            return false;
        }
        if (got != sizeof fixed || !ReadBlock(file, window, sizeof window, "CFFILE NAME", &nameBytes)) {
            if (!HasError()) {
                SetErrorText(kBrokenName);
            }
            return false;
        }
        WString name;
        uint32_t length = 0;
        if (!DecodeName(window, nameBytes, fixed.attribs, name, length)) {
            SetErrorText(kBrokenName);
            return false;
        }
        // Units continued from or into another cabinet of a set cannot be
        // copied as a whole, so such files are refused like bad indexes.
        if (fixed.iFolder >= parsed.header.cFolders) {
            SetErrorText(kFolderOutOfRange);
            return false;
        }
        position += length + 17;
        if (!SeekTo(file, position, "CFFILE NAME")) {
            return false;
        }
        CabStoredFile record;
        record.fixed = fixed;
        record.storedName.assign(reinterpret_cast<const char*>(window), length);
        parsed.files.Insert(name, record);
    }

    // Unit extents: from each unit's start to the next one's, the last to
    // the end of the file. Starts that go backwards or past the end, or
    // blocks that do not fit, mean the records cannot be trusted.
    for (size_t i = 0; i < parsed.units.size(); ++i) {
        uint64_t end = i + 1 < parsed.units.size() ? parsed.units[i + 1].start : fileSize;
        if (parsed.units[i].start > end || end > fileSize) {
            SetErrorText(WString(kOffsetOutside) + L"CFFOLDER");
            return false;
        }
        parsed.units[i].length = static_cast<uint32_t>(end - parsed.units[i].start);
        WString fault;
        // The units are copied, not decoded, but a merge must not carry known
        // damage into a new cabinet that then replaces a sound one.
        if (!CheckDataBlocks(*this, file, end, static_cast<unsigned>(i), parsed.units[i].record, 0,
                             BlockCheck::kChecksums, nullptr, fault)) {
            SetErrorText(fault);
            return false;
        }
    }
    return true;
}

bool CCabFile::LayOut(ParsedCabinet& parsed)
{
    if (parsed.units.size() > 0xFFFF || parsed.files.Count() > 0xFFFF) {
        SetErrorText(kTooManyItems);
        return false;
    }
    uint64_t offset = sizeof(cab::Header) + parsed.optionalPart.size() + 8 * parsed.units.size();
    parsed.header.coffFiles = static_cast<uint32_t>(offset);
    for (int i = 0; i < parsed.files.Count(); ++i) {
        offset += parsed.files.ValueAt(i).storedName.size() + 17;
    }
    for (CabUnit& unit : parsed.units) {
        unit.record.coffCabStart = static_cast<uint32_t>(offset);
        offset += unit.length;
    }
    if (offset > 0xFFFFFFFFu) {
        SetErrorText(kTooManyItems);
        return false;
    }
    parsed.header.cbCabinet = static_cast<uint32_t>(offset);
    parsed.header.cFolders = static_cast<uint16_t>(parsed.units.size());
    parsed.header.cFiles = static_cast<uint16_t>(parsed.files.Count());
    return true;
}

bool CCabFile::WriteCabinet(HANDLE output, HANDLE first, HANDLE second, const ParsedCabinet& parsed,
                            bool withProgress)
{
    if (!WriteBlock(output, &parsed.header, sizeof parsed.header, "CFHEADER")) {
        return false;
    }
    if (!parsed.optionalPart.empty() && !WriteBlock(output, parsed.optionalPart.data(),
                                                    static_cast<DWORD>(parsed.optionalPart.size()), "CFHEADER OPT")) {
        return false;
    }
    for (const CabUnit& unit : parsed.units) {
        if (!WriteBlock(output, &unit.record, sizeof unit.record, "CFFOLDER")) {
            return false;
        }
    }
    // Every name goes out with the bytes and the UTF-8 flag it came with:
    // decoded and encoded again, a name of another code page would change.
    for (int i = 0; i < parsed.files.Count(); ++i) {
        const CabStoredFile& record = parsed.files.ValueAt(i);
        if (!WriteBlock(output, &record.fixed, sizeof record.fixed, "CFFILE") ||
            !WriteBlock(output, record.storedName.c_str(), static_cast<DWORD>(record.storedName.size() + 1),
                        "CFFILE NAME")) {
            return false;
        }
    }
    uint64_t total = 0;
    for (const CabUnit& unit : parsed.units) {
        total += unit.length;
    }
    if (withProgress) {
        SetProgressPosition(20);
    }
    uint64_t copied = 0;
    for (const CabUnit& unit : parsed.units) {
        HANDLE source = unit.source == 0 ? first : second;
        if (!SeekTo(source, unit.start, "CFDATA") || !CopyData(source, output, unit.length)) {
            return false;
        }
        copied += unit.length;
        if (withProgress && total > 0) {
            SetProgressPosition(20 + static_cast<int>(80.0f * static_cast<float>(copied) / static_cast<float>(total)));
        }
    }
    return true;
}

namespace {

HANDLE OpenMergeInput(CArcFile& archive, const WString& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        archive.SetErrorText(code == ERROR_SHARING_VIOLATION ? path + L"\nアーカイブファイル使用中"
                                                             : L"Open AddFile Error = " + CodeText(code));
    }
    return file;
}

HANDLE CreateOutput(CArcFile& archive, const WString& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        archive.SetErrorText(path + L"\nWrite Error = " + CodeText(GetLastError()) + L" at CreateFile");
    }
    return file;
}

// Writes through the writer into a new file; a failed write leaves no
// half-written file behind.
template <typename Write>
bool WriteNewFile(CArcFile& archive, const WString& path, Write write)
{
    ScopedFile output(CreateOutput(archive, path));
    if (!output) {
        return false;
    }
    bool ok = write(output.Get());
    output.Reset();
    if (!ok) {
        DeleteFileW(path.c_str());
    }
    return ok;
}

}  // namespace

bool CCabFile::Merge(const WString& first, const WString& second, const WString& output, bool withProgress,
                     bool refuseDuplicates)
{
    if (withProgress) {
        SetProgressPosition(0);
    }
    ScopedFile a(OpenMergeInput(*this, first));
    ParsedCabinet parsedA;
    if (!a || !ParseCabinet(a.Get(), 0, parsedA)) {
        return false;
    }
    ScopedFile b(OpenMergeInput(*this, second));
    ParsedCabinet parsedB;
    if (!b || !ParseCabinet(b.Get(), 1, parsedB)) {
        return false;
    }
    for (int i = 0; refuseDuplicates && i < parsedB.files.Count(); ++i) {
        for (int j = 0; j < parsedA.files.Count(); ++j) {
            if (CompareNames(parsedA.files.Name(j), parsedB.files.Name(i)) == 0) {
                SetErrorText(L"パスが重複しているためマージできません。\n path = " + parsedB.files.Name(i));
                return false;
            }
        }
    }
    uint16_t shift = static_cast<uint16_t>(parsedA.units.size());
    parsedA.units.insert(parsedA.units.end(), parsedB.units.begin(), parsedB.units.end());
    for (int i = 0; i < parsedB.files.Count(); ++i) {
        CabStoredFile record = parsedB.files.ValueAt(i);
        record.fixed.iFolder = static_cast<uint16_t>(record.fixed.iFolder + shift);
        parsedA.files.Insert(parsedB.files.Name(i), record);
    }
    if (!LayOut(parsedA)) {
        return false;
    }
    if (withProgress) {
        SetProgressPosition(10);
    }
    return WriteNewFile(*this, output, [&](HANDLE out) {
        return WriteCabinet(out, a.Get(), b.Get(), parsedA, withProgress);
    });
}

bool CCabFile::RebuildWithoutUnits(const std::vector<bool>& touched, const WString& output)
{
    ScopedFile archive(OpenArchive());
    ParsedCabinet parsed;
    if (!archive || !ParseCabinet(archive.Get(), 0, parsed)) {
        return false;
    }
    std::vector<int> newIndex(parsed.units.size(), -1);
    std::vector<CabUnit> kept;
    for (size_t i = 0; i < parsed.units.size(); ++i) {
        if (!(i < touched.size() && touched[i])) {
            newIndex[i] = static_cast<int>(kept.size());
            kept.push_back(parsed.units[i]);
        }
    }
    KeyedList<CabStoredFile> keptFiles(false);
    for (int i = 0; i < parsed.files.Count(); ++i) {
        CabStoredFile record = parsed.files.ValueAt(i);
        if (newIndex[record.fixed.iFolder] >= 0) {
            record.fixed.iFolder = static_cast<uint16_t>(newIndex[record.fixed.iFolder]);
            keptFiles.Insert(parsed.files.Name(i), record);
        }
    }
    parsed.units = kept;
    parsed.files = keptFiles;
    if (!LayOut(parsed)) {
        return false;
    }
    return WriteNewFile(*this, output, [&](HANDLE out) {
        return WriteCabinet(out, archive.Get(), INVALID_HANDLE_VALUE, parsed, false);
    });
}
