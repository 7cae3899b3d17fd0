#include "archive/cab_layout.h"

#include <cstring>
#include <memory>
#include <vector>

#include "archive/arcfile.h"
#include "archive/cab_lzx_check.h"
#include "archive/entry_names.h"
#include "archive/zlib_binding.h"
#include "common/messages.h"

namespace cablayout {

const wchar_t kNotCabinet[] = L"*.cab ファイルではありません";
const wchar_t kCabinetSet[] = L"分割した *.cab ファイルはサポートしていません";
const wchar_t kReserveInUnits[] = L"追加データ有り";
const wchar_t kBrokenName[] = L"ファイル名が壊れています at CFFILE";
const wchar_t kFolderOutOfRange[] = L"圧縮単位の番号が範囲外です at CFFILE";
const wchar_t kOffsetOutside[] = L"ファイルの外を指す位置があります at ";
const wchar_t kBadDataBlock[] = L"データブロックの大きさが不正です at CFDATA";
const wchar_t kBlockChecksum[] = L"データブロックのチェックサムが一致しません at CFDATA";
const wchar_t kBlockUndecodable[] = L"データブロックの圧縮データが壊れています at CFDATA";
const wchar_t kTooManyItems[] = L"ファイルまたは圧縮単位が多すぎます";
const wchar_t kUnsupportedCompression[] = L"サポートしていない圧縮形式です at CFFOLDER";

bool DecodeName(const uint8_t* bytes, size_t available, uint16_t attribs, WString& name, uint32_t& length)
{
    const void* end = memchr(bytes, 0, available);
    if (end == nullptr || end == bytes) {
        return false;
    }
    length = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - bytes);
    const char* text = reinterpret_cast<const char*>(bytes);
    name = (attribs & cab::kAttributeUtf8Name) ? WString::FromUtf8(text, static_cast<int>(length))
                                                : WString::FromAnsi(text, static_cast<int>(length));
    // Some tools keep the "./" of their arguments, and Windows drops the
    // trailing dots and blanks of a name; the entry is the file Windows
    // would write, in the listing, the menu and the extraction alike.
    name = MappedEntryName(name);
    return !name.IsEmpty();
}

bool SkipSetNames(CArcFile& archive, HANDLE file, const cab::Header& header, uint64_t& position)
{
    const uint16_t flags[] = {cab::kFlagPrevCabinet, cab::kFlagNextCabinet};
    const char* labels[] = {"PREV_CABINET", "NEXT_CABINET"};
    for (int set = 0; set < 2; ++set) {
        if (!(header.flags & flags[set])) {
            continue;
        }
        // The cabinet's name, then its disk's name.
        for (int i = 0; i < 2; ++i) {
            uint8_t window[kNameWindow] = {};
            DWORD got = 0;
            if (!archive.SeekTo(file, position, labels[set]) ||
                !archive.ReadBlock(file, window, sizeof window, labels[set], &got)) {
                return false;
            }
            const void* end = memchr(window, 0, got);
            if (end == nullptr) {
                archive.SetErrorText(WString(kOffsetOutside) + LabelText(labels[set]));
                return false;
            }
            position += static_cast<const uint8_t*>(end) - window + 1;
        }
        if (!archive.SeekTo(file, position, labels[set])) {
            return false;
        }
    }
    return true;
}

bool IsValidFolderIndex(uint16_t folder, const cab::Header& header)
{
    if (folder < header.cFolders) {
        return true;
    }
    bool inSet = (header.flags & (cab::kFlagPrevCabinet | cab::kFlagNextCabinet)) != 0;
    return inSet && folder >= cab::kFolderContinuedFromPrev;
}

bool IsMszip(const cab::Folder& folder)
{
    return (folder.typeCompress & cab::kCompressionMask) == cab::kCompressionMszip;
}

namespace {

// " 圧縮単位 = 0, ブロック = 1": where in the cabinet a fault lies.
WString BlockPlace(unsigned unit, unsigned block)
{
    return L" 圧縮単位 = " + WString::FromInt(unit) + L", ブロック = " + WString::FromInt(block);
}

// The blocks of one MSZIP unit decoded in order, as the library's decoder
// takes them: each block's data is "CK" and a deflate stream that ends with
// the block, and may refer back into the last 32 KB that the unit decoded
// before it. Only that window and one block are held.
class MszipUnitDecoder {
public:
    explicit MszipUnitDecoder(const ZlibBinding& zlib) : inflater_(zlib), buffer_(kWindow + kRoom) {}

    bool IsReady() const { return inflater_.IsReady(); }

    // True when the block decodes to exactly cbUncomp bytes.
    bool Block(const uint8_t* data, uint16_t cbData, uint16_t cbUncomp)
    {
        if (cbData < 2 || data[0] != 'C' || data[1] != 'K') {
            return false;
        }
        // The block is decoded right behind the window, with one byte more
        // room than it may fill, so that a block that decodes to more is
        // seen as well.
        uint8_t* window = buffer_.data() + kWindow - history_;
        uint32_t produced = kRoom;
        if (!inflater_.DecodePiece(data + 2, cbData - 2u, window, history_, buffer_.data() + kWindow, produced) ||
            produced != cbUncomp) {
            return false;
        }
        // The window's last 32 KB move to its end, for the next block.
        uint32_t total = history_ + produced;
        history_ = total < kWindow ? total : kWindow;
        memmove(buffer_.data() + kWindow - history_, buffer_.data() + kWindow + produced - history_, history_);
        return true;
    }

private:
    static const uint32_t kWindow = 0x8000;
    static const uint32_t kRoom = cab::kMaxUncompressedBlock + 1;

    RawInflater inflater_;
    std::vector<uint8_t> buffer_;
    // How many bytes at the window's end the unit has decoded so far.
    uint32_t history_ = 0;
};

}  // namespace

bool CheckDataBlocks(CArcFile& archive, HANDLE file, uint64_t fileSize, unsigned unitIndex, const cab::Folder& folder,
                     uint8_t dataReserve, BlockCheck check, const ZlibBinding* zlib, WString& fault)
{
    uint64_t at = folder.coffCabStart;
    if (at > fileSize) {
        fault = WString(kOffsetOutside) + L"CFFOLDER" + BlockPlace(unitIndex, 0);
        return false;
    }
    std::unique_ptr<MszipUnitDecoder> decoder;
    if (check == BlockCheck::kChecksums && zlib != nullptr && IsMszip(folder)) {
        decoder = std::make_unique<MszipUnitDecoder>(*zlib);
        if (!decoder->IsReady()) {
            fault = kZlibUnavailable;
            return false;
        }
    }
    // Before the library decodes a unit (a zlib library is given then), its
    // LZX data is walked as the library's decoder will walk it. Quantum,
    // which no writer of this system makes, is not handed over at all: the
    // library's decoder reads and writes past its window on damaged data.
    std::unique_ptr<LzxUnitChecker> lzx;
    if (check == BlockCheck::kChecksums && zlib != nullptr) {
        uint16_t method = folder.typeCompress & cab::kCompressionMask;
        if (method == cab::kCompressionLzx) {
            lzx = std::make_unique<LzxUnitChecker>((folder.typeCompress >> 8) & 0x1F);
        }
        if (method == cab::kCompressionQuantum || (lzx && !lzx->IsReady())) {
            fault = kUnsupportedCompression + BlockPlace(unitIndex, 0);
            return false;
        }
    }
    std::vector<uint8_t> data;
    for (unsigned block = 0; block < folder.cCFData; ++block) {
        cab::DataBlock header{};
        DWORD got = 0;
        if (at + sizeof header > fileSize || !archive.SeekTo(file, at, "CFDATA") ||
            !archive.ReadBlock(file, &header, sizeof header, "CFDATA", &got) || got != sizeof header) {
            fault = archive.HasError() ? archive.ErrorText()
                                       : WString(kOffsetOutside) + L"CFDATA" + BlockPlace(unitIndex, block);
            return false;
        }
        // The last block of a unit that goes on in the next cabinet of a set
        // decodes to nothing of its own: its data is the first part of a
        // block that the next cabinet completes.
        bool continued = block + 1 == folder.cCFData && header.cbUncomp == 0;
        // Stored data is its own output, so a stored block whose two sizes
        // differ is damaged; the library would write the blocks before it
        // and stop half-way through a file.
        bool stored = (folder.typeCompress & cab::kCompressionMask) == cab::kCompressionNone;
        if (header.cbData > cab::kMaxCompressedBlock || header.cbUncomp > cab::kMaxUncompressedBlock ||
            (stored && header.cbData != header.cbUncomp && !continued)) {
            fault = kBadDataBlock + BlockPlace(unitIndex, block);
            return false;
        }
        uint64_t next = at + sizeof header + dataReserve + header.cbData;
        if (next > fileSize) {
            fault = WString(kOffsetOutside) + L"CFDATA" + BlockPlace(unitIndex, block);
            return false;
        }
        bool summed = check == BlockCheck::kChecksums && header.csum != 0;
        // A continued block cannot be decoded or walked here.
        bool decoded = decoder && !continued;
        bool walked = lzx && !continued;
        if (summed || decoded || walked) {
            // The reserve bytes and the data follow the header directly.
            data.resize(dataReserve + header.cbData);
            if (!data.empty() &&
                (!archive.ReadBlock(file, data.data(), static_cast<DWORD>(data.size()), "CFDATA", &got) ||
                 got != data.size())) {
                fault = archive.HasError() ? archive.ErrorText()
                                           : WString(kOffsetOutside) + L"CFDATA" + BlockPlace(unitIndex, block);
                return false;
            }
        }
        if (summed && cab::BlockChecksum(header.cbData, header.cbUncomp, data.data(), dataReserve,
                                         data.data() + dataReserve) != header.csum) {
            fault = kBlockChecksum + BlockPlace(unitIndex, block);
            return false;
        }
        if ((decoded && !decoder->Block(data.data() + dataReserve, header.cbData, header.cbUncomp)) ||
            (walked && !lzx->Block(data.data() + dataReserve, header.cbData, header.cbUncomp))) {
            fault = kBlockUndecodable + BlockPlace(unitIndex, block);
            return false;
        }
        at = next;
    }
    return true;
}

}  // namespace cablayout
