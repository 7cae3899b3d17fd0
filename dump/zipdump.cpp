#include "dump/zipdump.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/entry_names.h"
#include "archive/le_bytes.h"
#include "archive/zip_extra.h"
#include "archive/zip_names.h"
#include "common/dos_time.h"
#include "common/messages.h"

namespace {

const uint32_t kAllOnes32 = 0xFFFFFFFF;

const WString* ZipRecordTypeNames()
{
    static const WString names[] = {
        L"End Of Central Dir.", L"Zip64 End Of Central Dir. Locator", L"Zip64 End Of Central Dir.",
        L"Central Dir.",        L"Local Header",                      L"ファイル",
        L"Data Descriptor",
    };
    return names;
}
const int kZipRecordTypeCount = 7;

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

WString NameText(const std::string& bytes) { return DecodeStoredName(bytes.data(), bytes.size()); }

}  // namespace

void CZipDump::WriteEncryption(uint16_t flags)
{
    if (flags & zip::kFlagStrongEncryption) {
        report_ << L"暗号化：強力な暗号化 (Flag bit 6)\n";
    } else if (flags & zip::kFlagEncrypted) {
        report_ << L"暗号化：あり (Flag bit 0)\n";
    }
}

void CZipDump::WriteAesBlock(const uint8_t* data, size_t available)
{
    if (available < sizeof(zip::AesExtraData)) {
        report_ << L"*** ERROR *** ExtraField AES 暗号化データ(HeaderID:0x9901)不足\n";
        return;
    }
    zip::AesExtraData block;
    memcpy(&block, data, sizeof block);
    report_ << L"AES 暗号化：AE-" << block.vendorVersion << L" 強度 " << static_cast<unsigned>(block.strength);
    if (block.strength >= 1 && block.strength <= 3) {
        report_ << L"（" << 64 + 64 * static_cast<unsigned>(block.strength) << L" ビット）";
    } else {
        report_ << L"（不明）";
    }
    report_ << L" 圧縮法 " << block.method << "\n";
}

void CZipDump::WriteEntryName(const std::string& stored, uint16_t flags, const std::vector<uint8_t>& extra)
{
    zip::NameSource source = zip::NameSource::kAnsi;
    WString name = zip::DecodeEntryName(stored.data(), stored.size(), flags, extra.data(), extra.size(), &source);
    report_ << L"ファイル名：" << Ansi(name) << "\n";
    // A "." component names the folder it stands in, and Windows drops a
    // component's trailing dots and blanks: the listing, the menu and
    // extraction see the name so, and the report says so.
    std::vector<wchar_t> units(name.c_str(), name.c_str() + name.Length());
    MapEntryName(units);
    WString seen(units.data(), static_cast<int>(units.size()));
    if (seen != name && seen.IsEmpty()) {
        report_ << L"展開時の名前：（展開先フォルダー）\n";
    } else if (seen != name) {
        report_ << L"展開時の名前：" << Ansi(seen.ReplaceAll(L'/', L'\\')) << "\n";
    }
    // A name that is not in the code page says where its text came from.
    if (source == zip::NameSource::kUtf8Flag) {
        report_ << L"ファイル名の文字コード：UTF-8 (Flag bit 11)\n";
    } else if (source == zip::NameSource::kUnicodePathExtra) {
        report_ << L"ファイル名の文字コード：UTF-8 (Unicode Path Extra Field 0x7075)\n";
    } else if (source == zip::NameSource::kUtf8Fallback) {
        report_ << L"ファイル名の文字コード：UTF-8\n";
    }
}

CZipDump::CZipDump(const WString& archivePath, const WString& reportPath) : CArcDump(archivePath, reportPath) {}

bool CZipDump::Dump()
{
    if (!ReportOpened()) {
        return false;
    }
    if (!DumpEndRecords()) {
        return false;
    }
    if (entryCount_ != 0 && !FindCentralDirectory()) {
        return false;
    }
    if (!DumpCentralHeaders()) {
        return false;
    }
    for (size_t t = 0; t < entries_.size(); ++t) {
        if (!DumpLocalHeader(t)) {
            return false;
        }
    }
    SetRecordTypeNames(ZipRecordTypeNames(), kZipRecordTypeCount);
    RegionCheck();
    return true;
}

bool CZipDump::DumpEndRecords()
{
    uint64_t window = std::min<uint64_t>(FileSize(), zip::kEndRecordSearchWindow);
    uint64_t windowStart = FileSize() - window;
    std::vector<uint8_t> bytes(static_cast<size_t>(window));
    if (!Seek(windowStart, "EndOfCentralDir") ||
        !Read(bytes.data(), static_cast<DWORD>(window), "EndOfCentralDir")) {
        return false;
    }
    int64_t found = -1;
    for (int64_t p = static_cast<int64_t>(window) - static_cast<int64_t>(sizeof(zip::EndRecord)); p >= 0; --p) {
        if (LoadU32(&bytes[p]) == zip::kEndRecordSignature) {
            found = p;
            break;
        }
    }
    if (found < 0) {
        report_ << L"*** ERROR *** End Of Central Dir. 署名を見つけられません\n";
        return false;
    }
    zip::EndRecord record;
    memcpy(&record, &bytes[found], sizeof record);
    uint64_t commentEnd = static_cast<uint64_t>(found) + sizeof record + record.commentLength;
    if (record.commentLength != 0 && window < commentEnd) {
        report_ << L"*** ERROR *** EndOfCentralDir コメント領域不十分\n";
        return false;
    }
    uint64_t recordOffset = windowStart + found;
    report_ << L"End Of Central Dir. 位置：0x" << Hex(recordOffset) << "\n";
    report_ << L"ファイル数：" << record.totalEntries << "\n";
    report_ << L"Central Dir. の開始位置：0x" << Hex(record.centralDirOffset) << "\n";
    report_ << L"Central Dir. のサイズ：" << record.centralDirSize << "\n";
    if (record.commentLength != 0) {
        const char* comment = reinterpret_cast<const char*>(&bytes[found + sizeof record]);
        report_ << L"コメント：" << Ansi(DecodeStoredName(comment, record.commentLength)) << "\n";
    }
    report_ << "\n";
    AddMarker(recordOffset, kRegionStart, kZipEndRecord, -1);
    AddMarker(recordOffset + sizeof record + record.commentLength, kRegionEnd, kZipEndRecord, -1);

    entryCount_ = record.totalEntries;
    centralDirSize_ = record.centralDirSize;
    centralDirOffset_ = record.centralDirOffset;
    directoryEnd_ = recordOffset;

    // The Zip64 records have to be there when a field of the end record is
    // all ones. Writers also add them when the values still fit (to a stream
    // whose final size they could not foresee, or when told to): a locator
    // directly before the end record is followed in any case, so that those
    // records are listed and claimed too.
    bool needed = record.centralDirSize == kAllOnes32 || record.centralDirOffset == kAllOnes32;
    bool locatorThere = found >= static_cast<int64_t>(sizeof(zip::Zip64Locator)) &&
                        LoadU32(&bytes[found - sizeof(zip::Zip64Locator)]) == zip::kZip64LocatorSignature;
    if (needed && !locatorThere && DirectoryBeforeEndRecord(record, recordOffset)) {
        return true;
    }
    if (needed || locatorThere) {
        return DumpZip64Records(recordOffset);
    }
    return true;
}

bool CZipDump::DirectoryBeforeEndRecord(const zip::EndRecord& record, uint64_t recordOffset)
{
    // Info-ZIP writing forced Zip64 to a pipe marks the offset but writes
    // neither locator nor Zip64 record; its directory lies directly before
    // the end record, as the size field says. The engine reads it there.
    if (record.centralDirSize == kAllOnes32 || record.centralDirSize > recordOffset) {
        return false;
    }
    uint64_t start = recordOffset - record.centralDirSize;
    uint32_t signature = 0;
    if (!Seek(start, "CentralDir start") || !Read(&signature, sizeof signature, "CentralDir start") ||
        signature != zip::kCentralHeaderSignature) {
        return false;
    }
    zip64_ = true;
    centralDirOffset_ = start;
    report_ << L"Zip64 End Of Central Dir. Locator 無し：Central Dir. は End Of Central Dir. の直前 0x" << Hex(start)
            << "\n\n";
    return true;
}

bool CZipDump::DumpZip64Records(uint64_t endRecordOffset)
{
    zip64_ = true;
    zip::Zip64Locator locator;
    if (endRecordOffset < sizeof locator) {
        report_ << L"*** ERROR *** Z64EndOfCentralDirLoc 署名を見つけられません\n";
        return false;
    }
    uint64_t locatorOffset = endRecordOffset - sizeof locator;
    if (!Seek(locatorOffset, "Z64EndOfCentralDirLoc") ||
        !Read(&locator, sizeof locator, "Z64EndOfCentralDirLoc")) {
        return false;
    }
    if (locator.signature != zip::kZip64LocatorSignature) {
        report_ << L"*** ERROR *** Z64EndOfCentralDirLoc 署名を見つけられません\n";
        return false;
    }
    report_ << L"Zip64 End Of Central Dir. Locator 位置：0x" << Hex(locatorOffset) << "\n";
    report_ << L"Zip64 End Of Central Dir. 位置：0x" << Hex(locator.endRecordOffset) << "\n\n";
    AddMarker(locatorOffset, kRegionStart, kZipLocator, -1);
    AddMarker(locatorOffset + sizeof locator, kRegionEnd, kZipLocator, -1);

    zip::Zip64EndRecord record;
    uint64_t recordOffset = locator.endRecordOffset;
    if (!Seek(recordOffset, "Z64EndOfCentralDir") || !Read(&record, sizeof record, "Z64EndOfCentralDir")) {
        return false;
    }
    if (record.signature != zip::kZip64EndRecordSignature) {
        report_ << L"*** ERROR *** Zip64 End Of Central Dir. 署名を見つけられません\n";
        return false;
    }
    const uint64_t kFixedRest = sizeof record - 12;
    uint64_t extensible = 0;
    if (record.recordSize > kFixedRest) {
        extensible = record.recordSize - kFixedRest;
        // The extensible data has to end before the locator; the sums are
        // arranged so that lying sizes cannot wrap around.
        bool fits = recordOffset <= locatorOffset && locatorOffset - recordOffset >= sizeof record &&
                    extensible <= locatorOffset - recordOffset - sizeof record;
        if (!fits) {
            report_ << "*** ERROR *** Z64EndOfCentralDir Extend Data OverFlow\n";
            return false;
        }
    }
    entryCount_ = static_cast<uint32_t>(record.totalEntries);
    centralDirSize_ = record.centralDirSize;
    centralDirOffset_ = record.centralDirOffset;
    directoryEnd_ = recordOffset;
    report_ << L"Zip64 End Of Central Dir. 0x" << Hex(recordOffset) << "\n";
    report_ << L"ファイル個数：" << entryCount_ << "\n";
    report_ << L"Central Dir. の開始位置：0x" << Hex(centralDirOffset_) << "\n";
    report_ << L"Central Dir. のサイズ：" << centralDirSize_ << "\n";
    report_ << "MadeVersion:" << record.versionMadeBy << " NeededVersion:" << record.versionNeeded << "\n\n";
    AddRegion(kZip64EndRecord, recordOffset, sizeof record + extensible, -1);
    return true;
}

bool CZipDump::FindCentralDirectory()
{
    uint32_t signature = 0;
    if (!Seek(centralDirOffset_, "Find CentralDir1") || !Read(&signature, sizeof signature, "Find CentralDir1")) {
        return false;
    }
    if (signature == zip::kCentralHeaderSignature) {
        shift_ = 0;
    } else {
        report_ << L"*** ERROR *** 先頭の Central Dir. 署名を見つけられません。\n";
        if (AskUser(L"先頭の Central Dir. 署名を見つけられません。\nシフトしているかもしれません。探しますか？", nullptr,
                    MB_YESNO) != IDYES) {
            return false;
        }
        // The directory lies directly before the end record; where it really
        // starts tells how far the archive was shifted.
        bool found = false;
        if (centralDirSize_ <= directoryEnd_) {
            uint64_t start = directoryEnd_ - centralDirSize_;
            if (!Seek(start, "Find CentralDir2") || !Read(&signature, sizeof signature, "Find CentralDir2")) {
                return false;
            }
            if (signature == zip::kCentralHeaderSignature) {
                found = true;
                shift_ = static_cast<int64_t>(start - centralDirOffset_);
            }
        }
        if (!found) {
            ShowError(L"先頭の Central Dir. 署名を探せませんでした。");
            return false;
        }
        report_ << L"先頭の Central Dir. 署名を見つけました。シフトサイズ = " << static_cast<long long>(shift_) << " 0x"
                << Hex(static_cast<uint64_t>(shift_)) << "\n";
        ShowInfo(L"先頭の Central Dir. 署名を見つけました。");
    }
    uint64_t start = centralDirOffset_ + static_cast<uint64_t>(shift_);
    if (!Seek(start, "CentralDir")) {
        return false;
    }
    AddRegion(kZipCentralDir, start, centralDirSize_, -1);
    return true;
}

void CZipDump::WriteSizeLine(const wchar_t* title, uint64_t value)
{
    report_ << title << value << " 0x" << Hex(value) << "\n";
}

void CZipDump::WriteTimes(const ZipExtraValues& values)
{
    report_ << L"更新日時：" << Time(values.lastWrite) << "\n";
    report_ << L"アクセス日時：" << Time(values.lastAccess) << "\n";
    report_ << L"作成日時：" << Time(values.creation) << "\n";
}

bool CZipDump::DumpCentralHeaders()
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < entryCount_; ++i) {
        Entry entry;
        zip::CentralHeader& header = entry.header;
        if (!Read(&header, sizeof header, "CentralDir")) {
            return false;
        }
        if (header.signature != zip::kCentralHeaderSignature) {
            report_ << L"*** ERROR *** Central Dir. 署名を見つけられません index = " << i << "\n";
            return false;
        }
        report_ << "Central Dir. index = " << i << "\n";
        report_ << L"Method：" << header.method << L" 更新日時：" << Time(DosDateTimeToUtc(header.dosDate, header.dosTime))
                << "\n";
        report_ << "CRC32 0x" << Hex(header.crc32) << "\n";
        WriteSizeLine(L"圧縮後サイズ：", header.packedSize32);
        WriteSizeLine(L"圧縮前サイズ：", header.size32);
        report_ << L"内部属性 0x" << Hex(header.internalAttributes) << L" 属性 0x" << Hex(header.externalAttributes)
                << "\n";
        report_ << L"Local Header の位置 0x" << Hex(header.headerOffset32 + static_cast<uint64_t>(shift_)) << "\n";
        report_ << "Version:0x" << Hex(header.versionMadeBy) << " NeededVersion:0x" << Hex(header.versionNeeded)
                << " Flag:0x" << Hex(header.flags) << "\n";
        report_ << "FileNameLength:" << header.nameLength << " ExtraFieldLength:" << header.extraLength
                << " FileCommentLength:" << header.commentLength << "\n";

        entry.name.resize(header.nameLength);
        if (!Read(&entry.name[0], header.nameLength, "FileName")) {
            return false;
        }
        std::vector<uint8_t> extra(header.extraLength);
        if (header.extraLength != 0 && !Read(extra.data(), header.extraLength, "ExtraField")) {
            return false;
        }
        WriteEntryName(entry.name, header.flags, extra);
        WriteEncryption(header.flags);

        entry.values.size = header.size32;
        entry.values.packedSize = header.packedSize32;
        entry.values.headerOffset = header.headerOffset32;
        if (header.extraLength != 0) {
            if (!DumpExtraField(extra.data(), extra.size(), header.size32, header.packedSize32,
                                header.headerOffset32, entry.values, true, true)) {
                return false;
            }
            if (header.packedSize32 == kAllOnes32) {
                WriteSizeLine(L"圧縮後サイズ：", entry.values.packedSize);
            }
            if (header.size32 == kAllOnes32) {
                WriteSizeLine(L"圧縮前サイズ：", entry.values.size);
            }
            if (header.headerOffset32 == kAllOnes32) {
                report_ << L"Local Header の位置 0x" << Hex(entry.values.headerOffset) << "\n";
            }
            if (entry.values.hasTimes) {
                WriteTimes(entry.values);
            }
        }
        if (header.commentLength != 0) {
            std::string comment(header.commentLength, '\0');
            if (!Read(&comment[0], header.commentLength, "FileComment")) {
                return false;
            }
            report_ << L"ファイルコメント：" << Ansi(NameText(comment)) << "\n";
        }
        auto existing = entryIndex_.find(entry.name);
        if (existing != entryIndex_.end()) {
            report_ << L"*** ERROR *** 重複したファイル名 " << Ansi(NameText(entry.name)) << " index1, 2 = "
                    << static_cast<unsigned long long>(existing->second) << "," << i << "\n";
        } else {
            entryIndex_.emplace(entry.name, entries_.size());
            entries_.push_back(std::move(entry));
        }
        report_ << "\n";
        sum += sizeof header + header.nameLength + header.extraLength + header.commentLength;
    }
    if (sum != centralDirSize_) {
        report_ << L"*** ERROR *** Central Dir. のサイズ不整合 実際のサイズ = " << static_cast<unsigned long long>(sum)
                << "\n";
    }
    return true;
}

bool CZipDump::DumpExtraField(const uint8_t* bytes, size_t length, uint32_t size32, uint32_t packed32,
                              uint32_t offset32, ZipExtraValues& values, bool offsetAllowed, bool write)
{
    size_t pos = 0;
    while (pos + sizeof(zip::ExtraBlockHeader) <= length) {
        uint16_t id = LoadU16(bytes + pos);
        uint16_t dataSize = LoadU16(bytes + pos + 2);
        const uint8_t* data = bytes + pos + sizeof(zip::ExtraBlockHeader);
        // A block that claims more than the field holds is read only as far
        // as the field goes.
        size_t available = std::min<size_t>(dataSize, length - pos - sizeof(zip::ExtraBlockHeader));
        if (write) {
            report_ << L"HeaderID：0x" << Hex(id) << " Length = " << dataSize << "\n";
        }
        if (id == zip::kExtraZip64) {
            values.hasZip64 = true;
            uint64_t* targets[3];
            int count = 0;
            if (size32 == kAllOnes32) {
                targets[count++] = &values.size;
            }
            if (packed32 == kAllOnes32) {
                targets[count++] = &values.packedSize;
            }
            if (offsetAllowed && offset32 == kAllOnes32) {
                targets[count++] = &values.headerOffset;
            }
            size_t needed = 8 * static_cast<size_t>(count);
            if (available < needed) {
                if (write) {
                    report_ << L"*** ERROR *** ExtraField サイズデータ(HeaderID:0x0001)不足\n";
                }
                return false;
            }
            for (int k = 0; k < count; ++k) {
                *targets[k] = LoadU64(data + 8 * k);
            }
            if (dataSize > needed && write) {
                report_ << L"*** WARNING *** ExtraField サイズデータ(HeaderID:0x0001)過剰\n";
            }
        } else if (id == zip::kExtraAes && write) {
            WriteAesBlock(data, available);
        } else if (id == zip::kExtraNtfs) {
            if (dataSize != zip::kNtfsDataSize || available != zip::kNtfsDataSize) {
                if (write) {
                    report_ << L"*** ERROR *** ExtraField 日時データ(HeaderID:0x000a)不整合\n";
                }
                return false;
            }
            values.hasTimes = true;
            values.lastWrite = LoadFileTime(data + 8);
            values.lastAccess = LoadFileTime(data + 16);
            values.creation = LoadFileTime(data + 24);
        }
        pos += sizeof(zip::ExtraBlockHeader) + available;
    }
    return true;
}

bool CZipDump::DumpLocalHeader(size_t t)
{
    const Entry& entry = entries_[t];
    const zip::CentralHeader& central = entry.header;
    uint64_t offset = entry.values.headerOffset + static_cast<uint64_t>(shift_);
    zip::LocalHeader local;
    if (!Seek(offset, "LocalHeader") || !Read(&local, sizeof local, "LocalHeader")) {
        return false;
    }
    if (local.signature != zip::kLocalHeaderSignature) {
        report_ << L"*** ERROR *** LocalHeader 署名を見つけられません index = " << static_cast<unsigned long long>(t)
                << "\n";
        return false;
    }
    uint64_t dataStart = offset + sizeof local + local.nameLength + local.extraLength;
    AddMarker(offset, kRegionStart, kZipLocalHeader, static_cast<int>(t));
    AddMarker(dataStart, kRegionEnd, kZipLocalHeader, static_cast<int>(t));
    report_ << "Local Header index = " << static_cast<unsigned long long>(t) << "\n";
    report_ << L"位置：0x" << Hex(offset) << "\n";

    // The name and the extra field are read before the comparisons: a size
    // of all ones in the local header is only compared through its Zip64
    // value.
    std::string name(local.nameLength, '\0');
    std::vector<uint8_t> extra(local.extraLength);
    if (!Read(&name[0], local.nameLength, "FileName") || !Read(extra.data(), local.extraLength, "ExtraField")) {
        return false;
    }
    ZipExtraValues values;
    values.size = local.size32;
    values.packedSize = local.packedSize32;
    DumpExtraField(extra.data(), extra.size(), local.size32, local.packedSize32, 0, values, false, false);

    // A writer that streams an entry of unknown size reserves a Zip64 block
    // in the local header and so needs version 4.5 there; the central
    // header, written when the size is known, may need less.
    bool explainedByZip64 = local.versionNeeded >= zip::kVersionZip64 && central.versionNeeded < local.versionNeeded &&
                            zip::HasZip64Block(extra.data(), extra.size());
    if (explainedByZip64) {
        report_ << L"NeededVersion：Central Dir. 0x" << Hex(central.versionNeeded) << L"、Local Header 0x"
                << Hex(local.versionNeeded) << L"（Local Header の Zip64 拡張フィールドによる）\n";
    } else if (local.versionNeeded != central.versionNeeded) {
        report_ << L"*** ERROR *** NeededVersion が Central Dir. と Local Header で異なる\n";
        report_ << L"NeededVersion：0x" << Hex(local.versionNeeded) << "\n";
    }
    if (local.flags != central.flags) {
        report_ << L"*** ERROR *** Flag が Central Dir. と Local Header で異なる\n";
        report_ << L"Flag：0x" << Hex(local.flags) << "\n";
    }
    if (local.method != central.method) {
        report_ << L"*** ERROR *** Method が Central Dir. と Local Header で異なる\n";
        report_ << L"Method：" << local.method << "\n";
    }
    if (local.dosTime != central.dosTime || local.dosDate != central.dosDate) {
        report_ << L"*** ERROR *** 更新日時 が Central Dir. と Local Header で異なる\n";
        report_ << L"更新日時：" << Time(DosDateTimeToUtc(local.dosDate, local.dosTime)) << "\n";
    }
    if (local.flags & zip::kFlagDataDescriptor) {
        report_ << L"Data Descriptor 有り\n";
        // Writers that know a value in advance (the uncompressed size of a
        // file, say) may keep it in the local header as well; only a value
        // that disagrees with the central header is wrong.
        if (local.crc32 != 0 && local.crc32 != central.crc32) {
            report_ << L"*** ERROR *** Data Descriptor があるのに Local Header の CRC32 がゼロでない\n";
            report_ << L"CRC32：0x" << Hex(local.crc32) << "\n";
        }
        if (values.packedSize != 0 && values.packedSize != entry.values.packedSize) {
            report_ << L"*** ERROR *** Data Descriptor があるのに Local Header の 圧縮後サイズ がゼロでない\n";
            WriteSizeLine(L"圧縮後サイズ：", values.packedSize);
        }
        if (values.size != 0 && values.size != entry.values.size) {
            report_ << L"*** ERROR *** Data Descriptor があるのに Local Header の 圧縮前サイズ がゼロでない\n";
            WriteSizeLine(L"圧縮前サイズ：", values.size);
        }
        // The descriptor's sizes are 8 bytes wide exactly when the local
        // header carries a Zip64 block, whatever the end records are.
        if (!DumpDataDescriptor(dataStart, entry, t, values.hasZip64)) {
            return false;
        }
    } else {
        if (local.crc32 != central.crc32) {
            report_ << L"*** ERROR *** CRC32 が Central Dir. と Local Header で異なる\n";
            report_ << L"CRC32：0x" << Hex(local.crc32) << "\n";
        }
        // Sizes are compared by what they mean: a 32-bit field of all ones
        // stands for its Zip64 value in either header.
        if (values.packedSize != entry.values.packedSize) {
            report_ << L"*** ERROR *** 圧縮後サイズ が Central Dir. と Local Header で異なる\n";
            WriteSizeLine(L"圧縮後サイズ：", values.packedSize);
        }
        if (values.size != entry.values.size) {
            report_ << L"*** ERROR *** 圧縮前サイズ が Central Dir. と Local Header で異なる\n";
            WriteSizeLine(L"圧縮前サイズ：", values.size);
        }
    }
    if (local.nameLength != central.nameLength) {
        report_ << L"*** ERROR *** FileNameLength が Central Dir. と Local Header で異なる\n";
        report_ << L"FileNameLength：" << local.nameLength << "\n";
    }
    report_ << L"ファイル名：" << Ansi(NameText(name)) << "\n";
    if (name != entry.name) {
        report_ << L"*** ERROR *** ファイル名が　Central Dir. と Local Header で異なる\n";
    }
    if (local.extraLength != 0) {
        ZipExtraValues listed;
        if (!DumpExtraField(extra.data(), extra.size(), local.size32, local.packedSize32, 0, listed, false, true)) {
            return false;
        }
        if (values.hasTimes && !entry.values.hasTimes) {
            WriteTimes(values);
        } else if (values.hasTimes) {
            if (!SameTime(values.lastWrite, entry.values.lastWrite)) {
                report_ << L"*** ERROR *** 更新日時 が Central Dir. と Local Header で異なる\n";
            }
            if (!SameTime(values.lastAccess, entry.values.lastAccess)) {
                report_ << L"*** ERROR *** アクセス日時 が Central Dir. と Local Header で異なる\n";
            }
            if (!SameTime(values.creation, entry.values.creation)) {
                report_ << L"*** ERROR *** 作成日時 が Central Dir. と Local Header で異なる\n";
            }
        }
    }
    AddRegion(kZipFileData, dataStart, entry.values.packedSize, static_cast<int>(t));
    report_ << "\n";
    return true;
}

bool CZipDump::DumpDataDescriptor(uint64_t dataStart, const Entry& entry, size_t t, bool wide)
{
    uint64_t position = dataStart + entry.values.packedSize;
    uint32_t signature = 0;
    if (!Seek(position, "DataDescriptor") || !Read(&signature, sizeof signature, "DataDescriptor")) {
        return false;
    }
    uint64_t length = 0;
    if (signature == zip::kDataDescriptorSignature) {
        report_ << L"Data Descriptor 署名有り\n";
        length = sizeof signature;
    } else {
        report_ << L"Data Descriptor 署名無し\n";
        if (!Seek(position, "DataDescriptor")) {
            return false;
        }
    }
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    if (wide) {
        uint8_t fields[20];
        if (!Read(fields, sizeof fields, "DataDescriptor64")) {
            return false;
        }
        crc = LoadU32(fields);
        packedSize = LoadU64(fields + 4);
        size = LoadU64(fields + 12);
        length += sizeof fields;
    } else {
        uint8_t fields[12];
        if (!Read(fields, sizeof fields, "DataDescriptor")) {
            return false;
        }
        crc = LoadU32(fields);
        packedSize = LoadU32(fields + 4);
        size = LoadU32(fields + 8);
        length += sizeof fields;
    }
    if (packedSize != entry.values.packedSize) {
        report_ << L"*** ERROR *** 圧縮後サイズ が Central Dir. と Data Descriptor で異なる\n";
        WriteSizeLine(L"圧縮後サイズ：", packedSize);
    }
    if (size != entry.values.size) {
        report_ << L"*** ERROR *** 圧縮前サイズ が Central Dir. と Data Descriptor で異なる\n";
        WriteSizeLine(L"圧縮前サイズ：", size);
    }
    if (crc != entry.header.crc32) {
        report_ << L"*** ERROR *** CRC32 が Central Dir. と Data Descriptor で異なる\n";
        report_ << L"CRC32：0x" << Hex(crc) << "\n";
    }
    AddRegion(kZipDataDescriptor, position, length, static_cast<int>(t));
    return true;
}
