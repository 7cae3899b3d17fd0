#include "archive/cab_builder.h"

#include <zlib.h>

#include <algorithm>

#include "archive/cab_records.h"
#include "archive/le_bytes.h"

uint16_t GetU16(const Bytes& bytes, size_t at) { return LoadU16(bytes.data() + at); }

uint32_t GetU32(const Bytes& bytes, size_t at) { return LoadU32(bytes.data() + at); }

namespace {

// The data of the MSZIP block of size bytes at offset at of a unit's stream.
Bytes MszipBlock(const std::string& stream, size_t at, size_t size)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    const Bytef* unit = reinterpret_cast<const Bytef*>(stream.data());
    size_t history = std::min<size_t>(at, 0x8000);
    if (history > 0) {
        deflateSetDictionary(&z, unit + at - history, static_cast<uInt>(history));
    }
    Bytes data = {'C', 'K'};
    data.resize(2 + deflateBound(&z, static_cast<uLong>(size)));
    z.next_in = const_cast<Bytef*>(unit + at);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = data.data() + 2;
    z.avail_out = static_cast<uInt>(data.size() - 2);
    deflate(&z, Z_FINISH);
    data.resize(2 + z.total_out);
    deflateEnd(&z);
    return data;
}

Bytes BuildCabinet(const std::vector<CabTestFile>& files, const CabTestLayout& layout, CabTestOffsets* offsets,
                   uint16_t typeCompress)
{
    // Each unit's uncompressed stream is its files' data in record order.
    std::vector<std::string> streams(layout.folders);
    std::vector<uint32_t> fileOffsets;
    for (const CabTestFile& file : files) {
        std::string& stream = streams[file.folder < layout.folders ? file.folder : 0];
        fileOffsets.push_back(static_cast<uint32_t>(stream.size()));
        stream += file.data;
    }
    ByteBuilder b;
    b.Text("MSCF");                          // signature
    b.U32(0);                                // reserved1
    b.U32(0);                                // cbCabinet, patched below
    b.U32(0);                                // reserved2
    b.U32(0);                                // coffFiles, patched below
    b.U32(0);                                // reserved3
    b.U8(3).U8(1);                           // version 1.3
    b.U16(static_cast<uint16_t>(layout.folders));
    b.U16(static_cast<uint16_t>(files.size()));
    b.U16(static_cast<uint16_t>((layout.reservePresent ? cab::kFlagReservePresent : 0) |
                                (layout.previous.empty() ? 0 : cab::kFlagPrevCabinet) |
                                (layout.next.empty() ? 0 : cab::kFlagNextCabinet)));  // flags
    b.U16(0x1234);                           // setID
    b.U16(0);                                // iCabinet
    if (layout.reservePresent) {
        b.U16(layout.headerReserve);         // cbCFHeader
        b.U8(layout.folderReserve);          // cbCFFolder
        b.U8(layout.dataReserve);            // cbCFData
        for (uint16_t i = 0; i < layout.headerReserve; ++i) {
            b.U8(static_cast<uint8_t>(0xA0 + i));  // the header's reserved area
        }
    }
    for (const std::vector<std::string>* names : {&layout.previous, &layout.next}) {
        for (const std::string& name : *names) {
            b.Text(name).U8(0);              // a set's cabinet or disk name
        }
    }
    std::vector<size_t> folderAt;
    size_t firstFolder = b.Size();
    for (int f = 0; f < layout.folders; ++f) {
        folderAt.push_back(b.Size());
        size_t blocks = (streams[f].size() + cab::kMaxUncompressedBlock - 1) / cab::kMaxUncompressedBlock;
        b.U32(0);                            // coffCabStart, patched below
        b.U16(static_cast<uint16_t>(blocks));  // cCFData
        b.U16(typeCompress);                 // typeCompress
        b.Fill(layout.folderReserve, 0xCC);  // per-unit reserve
    }
    size_t coffFiles = b.Size();
    b.PatchU32(16, static_cast<uint32_t>(coffFiles));
    std::vector<size_t> records;
    for (size_t i = 0; i < files.size(); ++i) {
        records.push_back(b.Size());
        b.U32(static_cast<uint32_t>(files[i].data.size()));  // cbFile
        b.U32(fileOffsets[i]);                               // uoffFolderStart
        b.U16(files[i].folder);                              // iFolder
        b.U16(files[i].date);                                // date
        b.U16(files[i].time);                                // time
        b.U16(files[i].attribs);                             // attribs
        b.Text(files[i].name).U8(0);                         // name with NUL
    }
    std::vector<size_t> starts;
    for (int f = 0; f < layout.folders; ++f) {
        starts.push_back(b.Size());
        b.PatchU32(folderAt[f], static_cast<uint32_t>(b.Size()));
        const std::string& stream = streams[f];
        for (size_t at = 0; at < stream.size(); at += cab::kMaxUncompressedBlock) {
            size_t size = std::min<size_t>(cab::kMaxUncompressedBlock, stream.size() - at);
            Bytes reserve(layout.dataReserve, 0xDD);
            Bytes data = typeCompress == cab::kCompressionMszip
                             ? MszipBlock(stream, at, size)
                             : Bytes(stream.begin() + at, stream.begin() + at + size);
            uint16_t packed = static_cast<uint16_t>(data.size());
            uint16_t n = static_cast<uint16_t>(size);
            b.U32(cab::BlockChecksum(packed, n, reserve.data(), reserve.size(), data.data()));  // csum
            b.U16(packed);                   // cbData
            b.U16(n);                        // cbUncomp
            b.Raw(reserve);                  // per-block reserve
            b.Raw(data);
        }
    }
    b.PatchU32(8, static_cast<uint32_t>(b.Size()));
    if (offsets) {
        offsets->coffFiles = coffFiles;
        offsets->firstFolder = firstFolder;
        offsets->fileRecords = records;
        offsets->unitStarts = starts;
    }
    return b.Get();
}

}  // namespace

Bytes BuildStoredCabinet(const std::vector<CabTestFile>& files, const CabTestLayout& layout, CabTestOffsets* offsets)
{
    return BuildCabinet(files, layout, offsets, cab::kCompressionNone);
}

Bytes BuildMszipCabinet(const std::vector<CabTestFile>& files, const CabTestLayout& layout, CabTestOffsets* offsets)
{
    return BuildCabinet(files, layout, offsets, cab::kCompressionMszip);
}
