#include "dump/cabdump.h"

#include <cstring>

#include "common/dos_time.h"

namespace {

const WString* CabRecordTypeNames()
{
    static const WString names[] = {
        L"ヘッダー", L"追加データー", L"前キャビネット", L"後キャビネット",
        L"ファイル", L"圧縮単位",     L"圧縮単位 No.%d のデーター",
    };
    return names;
}
const int kCabRecordTypeCount = 7;

// Set names and file names are at most 255 bytes and their NUL.
const DWORD kNameField = 260;

const wchar_t* MethodName(uint16_t typeCompress)
{
    switch (typeCompress & cab::kCompressionMask) {
    case cab::kCompressionNone:
        return L"非圧縮";
    case cab::kCompressionMszip:
        return L"標準";
    case cab::kCompressionLzx:
        return L"LZX(圧縮優先)";
    default:
        return L"未定義";
    }
}

}  // namespace

CCabDump::CCabDump(const WString& archivePath, const WString& reportPath) : CArcDump(archivePath, reportPath) {}

bool CCabDump::Dump()
{
    if (!ReportOpened() || !DumpHeader() || !DumpFolders() || !DumpFiles()) {
        return false;
    }
    for (size_t k = 0; k < folders_.size(); ++k) {
        if (!DumpFolderData(k)) {
            return false;
        }
    }
    SetRecordTypeNames(CabRecordTypeNames(), kCabRecordTypeCount);
    RegionCheck();
    return true;
}

bool CCabDump::DumpHeader()
{
    if (!Read(&header_, sizeof header_, "CFHEADER")) {
        return false;
    }
    if (header_.signature != cab::kSignature) {
        report_ << L"*** ERROR *** *.cab ファイルではありません\n";
        return false;
    }
    report_ << L"ヘッダー\n";
    report_ << L"キャビネットファイルサイズ：" << Grouped(header_.cbCabinet);
    if (header_.cbCabinet != FileSize()) {
        report_ << L"*** ERROR *** ファイルサイズ相違 実際 = " << Grouped(FileSize()) << "\n";
    }
    report_ << L"、バージョン：";
    WriteVersionPart(header_.versionMajor);
    report_ << ".";
    WriteVersionPart(header_.versionMinor);
    report_ << "\n";
    report_ << L"圧縮単位の数：" << header_.cFolders << L"、ファイルの数：" << header_.cFiles << "\n";
    report_ << L"ファイル No.1 の位置：0x" << Hex(header_.coffFiles) << "\n";
    report_ << L"キャビネット共通ＩＤ：" << header_.setID << L"、キャビネットファイル番号：" << header_.iCabinet << "\n";
    if (header_.flags != 0) {
        report_ << L"追加データ等のフラグ：0x" << Hex(header_.flags) << "\n";
    }
    AddRegion(kCabHeader, 0, sizeof header_, -1);
    position_ = sizeof header_;

    if (header_.flags & cab::kFlagReservePresent) {
        if (!Read(&reserve_, sizeof reserve_, "CFHEADERRESERVE")) {
            return false;
        }
        report_ << L"追加データのサイズ　ヘッダー：" << reserve_.cbCFHeader << L"、圧縮単位：" << static_cast<unsigned>(reserve_.cbCFFolder)
                << L"、データ：" << static_cast<unsigned>(reserve_.cbCFData) << "\n";
        if (reserve_.cbCFHeader != 0) {
            std::vector<uint8_t> bytes(reserve_.cbCFHeader);
            if (!Read(bytes.data(), reserve_.cbCFHeader, "cbCFHeader")) {
                return false;
            }
            report_ << L"ヘッダー追加データー：0x" << HexString(bytes.data(), reserve_.cbCFHeader) << "\n";
        }
        AddRegion(kCabReserve, sizeof header_, sizeof reserve_ + reserve_.cbCFHeader, -1);
        position_ = sizeof header_ + sizeof reserve_ + reserve_.cbCFHeader;
    }
    if ((header_.flags & cab::kFlagPrevCabinet) &&
        !DumpSetNames(kCabPrevCabinet, "PREV_CABINET", L"前キャビネットファイル名：", L"前ディスク名：")) {
        return false;
    }
    if ((header_.flags & cab::kFlagNextCabinet) &&
        !DumpSetNames(kCabNextCabinet, "NEXT_CABINET", L"後キャビネットファイル名：", L"後ディスク名：")) {
        return false;
    }
    report_ << "\n";
    return true;
}

void CCabDump::WriteVersionPart(uint8_t part)
{
    // A version byte is one digit in every cabinet there is; a larger value
    // is written as a number rather than as whatever character follows '9'.
    if (part <= 9) {
        char digit[2] = {static_cast<char>('0' + part), '\0'};
        report_ << digit;
    } else {
        report_ << static_cast<unsigned>(part);
    }
}

bool CCabDump::ReadSetName(const char* label, std::vector<char>& name)
{
    // The names may lie near the end of a small cabinet, so less than the
    // longest name may follow them.
    char bytes[kNameField];
    DWORD got = 0;
    if (!Read(bytes, kNameField, label, true, &got)) {
        return false;
    }
    if (got == 0) {
        WriteReadError(ERROR_HANDLE_EOF, 0, label);
        return false;
    }
    size_t length = strnlen(bytes, got);
    name.assign(bytes, bytes + length);
    return true;
}

bool CCabDump::DumpSetNames(ARA_CABRECORDTYPE type, const char* label, const wchar_t* cabinetTitle,
                            const wchar_t* diskTitle)
{
    std::vector<char> cabinet;
    std::vector<char> disk;
    if (!ReadSetName(label, cabinet) || !Seek(position_ + cabinet.size() + 1, label) || !ReadSetName(label, disk)) {
        return false;
    }
    report_ << cabinetTitle << Ansi(DecodeStoredName(cabinet.data(), cabinet.size())) << "\n";
    report_ << diskTitle << Ansi(DecodeStoredName(disk.data(), disk.size())) << "\n";
    uint64_t length = cabinet.size() + disk.size() + 2;
    AddRegion(type, position_, length, -1);
    position_ += length;
    return Seek(position_, label);
}

bool CCabDump::DumpFolders()
{
    for (uint16_t k = 0; k < header_.cFolders; ++k) {
        report_ << L"圧縮単位 No." << k + 1 << "\n";
        cab::Folder folder;
        if (!Read(&folder, sizeof folder, "CFFOLDER")) {
            return false;
        }
        report_ << L"位置：0x" << Hex(position_) << "\n";
        report_ << L"圧縮単位 No." << k + 1 << L" のデーターの位置：0x" << Hex(folder.coffCabStart) << "\n";
        folders_.push_back(folder);
        report_ << L"圧縮単位内のデータ数：" << folder.cCFData << L" 圧縮方法：" << MethodName(folder.typeCompress);
        if ((folder.typeCompress & cab::kCompressionMask) == cab::kCompressionLzx) {
            report_ << L" レベル：" << (folder.typeCompress >> 8);
        }
        report_ << "\n";
        if (reserve_.cbCFFolder != 0) {
            uint8_t bytes[256];
            if (!Read(bytes, reserve_.cbCFFolder, "cbCFFolder")) {
                return false;
            }
            report_ << L"圧縮単位追加データー：0x" << HexString(bytes, reserve_.cbCFFolder) << "\n";
        }
        AddRegion(kCabFolder, position_, sizeof folder + reserve_.cbCFFolder, k);
        position_ += sizeof folder + reserve_.cbCFFolder;
        report_ << "\n";
    }
    if (position_ != header_.coffFiles) {
        report_ << L"*** ERROR *** ファイル No.1 の位置不正 正しい位置：0x" << Hex(position_) << "\n";
    }
    return true;
}

bool CCabDump::DumpFiles()
{
    position_ = header_.coffFiles;
    filesOfFolder_.resize(folders_.size());
    for (uint16_t i = 0; i < header_.cFiles; ++i) {
        report_ << L"ファイル No." << i + 1 << "\n";
        uint8_t bytes[sizeof(cab::File) + kNameField];
        DWORD got = 0;
        if (!Seek(position_, "CFFILE") || !Read(bytes, sizeof bytes, "CFFILE", true, &got)) {
            return false;
        }
        // The fixed fields and at least the name's NUL have to be there.
        if (got < sizeof(cab::File) + 1) {
            WriteReadError(ERROR_HANDLE_EOF, got, "CFFILE");
            return false;
        }
        cab::File file;
        memcpy(&file, bytes, sizeof file);
        const char* stored = reinterpret_cast<const char*>(bytes + sizeof file);
        size_t nameLength = strnlen(stored, got - sizeof file);
        UINT codePage = (file.attribs & cab::kAttributeUtf8Name) ? CP_UTF8 : CP_ACP;
        WString name = DecodeStoredName(stored, nameLength, codePage);

        report_ << L"位置：0x" << Hex(position_) << "\n";
        report_ << L"ファイル名：" << Ansi(name) << L"、圧縮前サイズ：" << Grouped(file.cbFile) << "\n";
        report_ << L"更新日時：" << Time(DosDateTimeToUtc(file.date, file.time)) << L"、属性：0x" << Hex(file.attribs, 2);
        static const struct {
            uint16_t bit;
            const wchar_t* word;
        } kWords[] = {
            {cab::kAttributeReadOnly, L"、読み取り専用"}, {cab::kAttributeHidden, L"、隠しファイル"},
            {cab::kAttributeSystem, L"、システム"},       {cab::kAttributeArchive, L"、アーカイブ"},
            {cab::kAttributeExecute, L"、実行ファイル"},  {cab::kAttributeUtf8Name, L"、UTF8"},
        };
        for (const auto& word : kWords) {
            if (file.attribs & word.bit) {
                report_ << word.word;
            }
        }
        report_ << "\n";
        if (file.iFolder >= header_.cFolders) {
            report_ << L"*** ERROR *** 所属する圧縮単位不正\n";
        }
        report_ << L"所属する圧縮単位 No." << file.iFolder + 1 << L"、圧縮単位中の当ファイルの位置（圧縮前）："
                << Grouped(file.uoffFolderStart) << "\n\n";
        if (file.iFolder < filesOfFolder_.size()) {
            filesOfFolder_[file.iFolder].push_back(files_.size());
        }
        files_.push_back(FileItem{name, file.iFolder, file.uoffFolderStart, file.cbFile});
        AddRegion(kCabFile, position_, nameLength + sizeof file + 1, i);
        position_ += nameLength + sizeof file + 1;
    }
    return true;
}

bool CCabDump::DumpFolderData(size_t k)
{
    const cab::Folder& folder = folders_[k];
    report_ << L"圧縮単位 No." << static_cast<unsigned long long>(k + 1) << L" のデーター\n";
    uint64_t block = folder.coffCabStart;
    uint64_t uncompressedSum = 0;
    uint64_t compressedSum = 0;
    std::vector<uint8_t> data;
    uint8_t reserve[256];
    for (unsigned n = 1; n <= folder.cCFData; ++n) {
        cab::DataBlock head;
        if (!Seek(block, "CFDATA") || !Read(&head, sizeof head, "CFDATA")) {
            return false;
        }
        report_ << "No." << Padded(n, 3) << L" 位置：0x" << Hex(block, HexWidth()) << L" SUM：0x" << Hex(head.csum, 8)
                << L" 圧縮前サイズ：" << Padded(head.cbUncomp, 5) << L" 圧縮サイズ：" << Padded(head.cbData, 5) << "\n";
        uncompressedSum += head.cbUncomp;
        compressedSum += head.cbData;
        if (reserve_.cbCFData != 0) {
            if (!Read(reserve, reserve_.cbCFData, "cbCFData")) {
                return false;
            }
            report_ << L"データー単位追加データー：0x" << HexString(reserve, reserve_.cbCFData) << "\n";
        }
        data.resize(head.cbData);
        if (!Read(data.data(), head.cbData, "DATA")) {
            return false;
        }
        // The checksum covers the block's reserve bytes too, as the cabinet
        // writers compute it.
        uint32_t sum = cab::BlockChecksum(head.cbData, head.cbUncomp, reserve, reserve_.cbCFData, data.data());
        if (sum != head.csum) {
            report_ << L"*** ERROR *** SUM 不正 正しい値 = 0x" << Hex(sum, 8) << "\n";
        }
        uint64_t length = sizeof head + reserve_.cbCFData + head.cbData;
        AddRegion(kCabFolderData, block, length, static_cast<int>(k));
        block += length;
    }
    report_ << L"圧縮前サイズ合計：" << Grouped(uncompressedSum) << L"、圧縮サイズ合計：" << Grouped(compressedSum) << "\n";
    report_ << L"所属ファイル：圧縮前の位置\n";
    uint64_t running = 0;
    for (size_t i : filesOfFolder_[k]) {
        const FileItem& file = files_[i];
        if (file.offset != running) {
            report_ << L"*** ERROR *** 位置不正 正しい位置 = " << static_cast<unsigned long long>(running) << "\n";
        }
        report_ << Ansi(file.name) << L"：" << Grouped(file.offset) << " - " << Grouped(running + file.size) << "\n";
        running += file.size;
    }
    if (running != uncompressedSum) {
        report_ << L"*** ERROR *** 合計サイズ不正\n";
    }
    report_ << "\n";
    return true;
}
