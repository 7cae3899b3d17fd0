#include "archive/cab_builder.h"

#include "archive/cab_records.h"
#include "archive/le_bytes.h"

uint16_t GetU16(const Bytes& bytes, size_t at) { return LoadU16(bytes.data() + at); }

uint32_t GetU32(const Bytes& bytes, size_t at) { return LoadU32(bytes.data() + at); }

Bytes BuildStoredCabinet(const std::vector<CabTestFile>& files, const CabTestLayout& layout, CabTestOffsets* offsets)
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
        b.U16(cab::kCompressionNone);        // typeCompress: stored
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
            uint16_t n = static_cast<uint16_t>(size);
            b.U32(cab::BlockChecksum(n, n, reserve.data(), reserve.size(), stream.data() + at));  // csum
            b.U16(n);                        // cbData
            b.U16(n);                        // cbUncomp
            b.Raw(reserve);                  // per-block reserve
            b.Raw(Bytes(stream.begin() + at, stream.begin() + at + size));
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
