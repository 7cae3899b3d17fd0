// The structural mutations of cabinets:
//   rename a file (hostile names, UTF-8 or not); move a file record in its
//   unit, give it another unit (or a continuation marker), another size;
//   copy or drop a file record;
//   give a unit new data: stored blocks, MSZIP blocks made by zlib, LZX
//   data in uncompressed blocks (which the library's decoder reads as it
//   reads any LZX data), Quantum-typed bytes; split or join its blocks,
//   change what a block says it decodes to, add an empty block;
//   change a unit's type word (LZX and Quantum window sizes included);
//   add reserve areas to the header, the units or the blocks; make the
//   cabinet part of a set; break or zero a block's checksum.
#include "tools/fuzz/cab_model.h"

#include <algorithm>

#include "archive/cab_records.h"
#include "tools/fuzz/zip_model.h"

namespace fuzzcab {

namespace {

using fuzzbytes::Append;
using fuzzbytes::Put;

const size_t kBlockRoom = 0x8000;

uint64_t Get(const uint8_t* bytes, size_t size, uint64_t at, int width)
{
    return at >= size ? 0 : fuzzbytes::Get(bytes, size, static_cast<size_t>(at), width);
}

bool ReadName(const uint8_t* bytes, size_t size, uint64_t& at, std::string& name)
{
    uint64_t end = at;
    while (end < size && bytes[end] != 0) {
        ++end;
    }
    if (end >= size) {
        return false;
    }
    name.assign(reinterpret_cast<const char*>(bytes) + at, static_cast<size_t>(end - at));
    at = end + 1;
    return true;
}

Bytes Pattern(Random& random, size_t count)
{
    Bytes bytes(count);
    int style = static_cast<int>(random.Below(3));
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = style == 0 ? static_cast<uint8_t>(random.Next()) : style == 1 ? static_cast<uint8_t>("cabinet"[i % 7])
                                                                                 : static_cast<uint8_t>(i >> 3);
    }
    return bytes;
}

// MSZIP: each block is "CK" and a raw deflate stream of at most 32 KB
// that here refers to nothing before it.
bool MszipBlocks(const Bytes& plain, std::vector<Block>& blocks)
{
    blocks.clear();
    for (size_t at = 0; at < plain.size() || blocks.empty(); at += kBlockRoom) {
        size_t piece = std::min(kBlockRoom, plain.size() - std::min(at, plain.size()));
        Bytes piecePlain(plain.begin() + static_cast<long>(std::min(at, plain.size())),
                         plain.begin() + static_cast<long>(std::min(at, plain.size()) + piece));
        Block block;
        if (!fuzzzip::RawDeflate(piecePlain, block.data)) {
            return false;
        }
        block.data.insert(block.data.begin(), {'C', 'K'});
        block.uncompressed = static_cast<uint16_t>(piece);
        blocks.push_back(std::move(block));
        if (piece == 0) {
            break;
        }
    }
    return true;
}

// Bits of LZX data: 16-bit little-endian words, most significant bit first.
class BitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            word_ = static_cast<uint16_t>(word_ << 1 | ((value >> i) & 1));
            if (++used_ == 16) {
                Flush();
            }
        }
    }
    void Align()
    {
        if (used_ > 0) {
            Put(0, 16 - used_);
        }
    }
    fuzzcab::Bytes& Output() { return out_; }

private:
    void Flush()
    {
        out_.push_back(static_cast<uint8_t>(word_));
        out_.push_back(static_cast<uint8_t>(word_ >> 8));
        word_ = 0;
        used_ = 0;
    }
    fuzzcab::Bytes out_;
    uint16_t word_ = 0;
    int used_ = 0;
};

// One LZX frame (at most 32 KB of output) as a single uncompressed block:
// no E8 translation, block type 3 and its 24-bit size, alignment, the
// three repeated offsets, the bytes themselves, padded to an even length.
Block LzxBlock(const Bytes& plain, Random& random)
{
    BitWriter bits;
    bits.Put(0, 1);
    bits.Put(3, 3);
    bits.Put(static_cast<uint32_t>(random.OneIn(8) ? random.Next() & 0xFFFFFF : plain.size()), 24);
    bits.Align();
    Block block;
    block.data = bits.Output();
    for (int i = 0; i < 3; ++i) {
        Append(block.data, random.OneIn(6) ? random.Next() : 1, 4);
    }
    block.data.insert(block.data.end(), plain.begin(), plain.end());
    if (plain.size() % 2) {
        block.data.push_back(0);
    }
    block.uncompressed = static_cast<uint16_t>(plain.size());
    return block;
}

void NewUnitData(Unit& unit, Random& random)
{
    Bytes plain = Pattern(random, random.Skewed(3 * kBlockRoom));
    unit.blocks.clear();
    switch (random.Below(4)) {
    case 0:
        unit.type = cab::kCompressionNone;
        for (size_t at = 0; at < plain.size() || unit.blocks.empty(); at += kBlockRoom) {
            Block block;
            size_t piece = std::min(kBlockRoom, plain.size() - std::min(at, plain.size()));
            block.data.assign(plain.begin() + static_cast<long>(std::min(at, plain.size())),
                              plain.begin() + static_cast<long>(std::min(at, plain.size()) + piece));
            block.uncompressed = static_cast<uint16_t>(piece);
            unit.blocks.push_back(std::move(block));
            if (piece == 0) {
                break;
            }
        }
        return;
    case 1:
        unit.type = cab::kCompressionMszip;
        MszipBlocks(plain, unit.blocks);
        return;
    case 2: {
        unit.type = static_cast<uint16_t>(cab::kCompressionLzx | (15 + random.Below(7)) << 8);
        plain.resize(std::min(plain.size(), kBlockRoom));
        unit.blocks.push_back(LzxBlock(plain, random));
        return;
    }
    default: {
        unit.type = static_cast<uint16_t>(cab::kCompressionQuantum | (10 + random.Below(12)) << 8 |
                                          random.Below(8) << 4);
        Block block;
        block.data = Pattern(random, random.Skewed(4000));
        block.uncompressed = static_cast<uint16_t>(random.Skewed(kBlockRoom + 1));
        unit.blocks.push_back(std::move(block));
        return;
    }
    }
}

uint32_t UnitLength(const Unit& unit)
{
    uint32_t total = 0;
    for (const Block& block : unit.blocks) {
        total += block.uncompressed;
    }
    return total;
}

bool MutateUnit(Cabinet& cabinet, Unit& unit, Random& random)
{
    switch (random.Below(8)) {
    case 0:
    case 1:
        NewUnitData(unit, random);
        // The files of the unit come to lie inside its new data.
        for (FileRecord& file : cabinet.files) {
            if (&cabinet.units[std::min<size_t>(file.unit, cabinet.units.size() - 1)] == &unit) {
                uint32_t length = UnitLength(unit);
                file.offset = length == 0 ? 0 : static_cast<uint32_t>(random.Below(length));
                file.size = static_cast<uint32_t>(random.Below(length - file.offset + 1));
            }
        }
        return true;
    case 2:
        unit.type = static_cast<uint16_t>(random.Pick(std::vector<uint16_t>{
            0, 1, 2, 3, 4, 0x0F, 0x0E03, 0x0F03, 0x1503, 0x1603, 0x1F03, 0x0902, 0x0A02, 0x1502, 0x1602, 0x0A72}));
        return true;
    case 3:
        if (unit.blocks.size() > 1) {
            Block& first = unit.blocks[0];
            first.data.insert(first.data.end(), unit.blocks[1].data.begin(), unit.blocks[1].data.end());
            first.uncompressed = static_cast<uint16_t>(first.uncompressed + unit.blocks[1].uncompressed);
            unit.blocks.erase(unit.blocks.begin() + 1);
            return true;
        }
        return false;
    case 4:
        if (!unit.blocks.empty()) {
            Block& block = unit.blocks[random.Below(unit.blocks.size())];
            block.uncompressed = static_cast<uint16_t>(random.OneIn(2) ? block.uncompressed + 1 - random.Below(3)
                                                                      : random.Skewed(0x10000));
            return true;
        }
        return false;
    case 5:
        unit.blocks.insert(unit.blocks.begin() + static_cast<long>(random.Below(unit.blocks.size() + 1)), Block());
        return true;
    case 6:
        if (!unit.blocks.empty()) {
            Block& block = unit.blocks[random.Below(unit.blocks.size())];
            if (!block.data.empty()) {
                block.data[random.Below(block.data.size())] ^= static_cast<uint8_t>(1 + random.Below(255));
            }
            return true;
        }
        return false;
    default:
        if (!unit.blocks.empty()) {
            Block& block = unit.blocks[random.Below(unit.blocks.size())];
            block.keepChecksum = true;
            block.csum = random.OneIn(2) ? 0 : static_cast<uint32_t>(random.Next());
            return true;
        }
        return false;
    }
}

bool MutateFile(Cabinet& cabinet, FileRecord& file, Random& random)
{
    switch (random.Below(7)) {
    case 0:
    case 1:
        file.name = random.Pick(fuzzbytes::HostileNames());
        std::replace(file.name.begin(), file.name.end(), '\0', 'x');
        if (random.OneIn(3)) {
            file.attribs ^= cab::kAttributeUtf8Name;
        }
        return true;
    case 2:
        file.unit = static_cast<uint16_t>(random.Pick(std::vector<uint16_t>{
            0, 1, static_cast<uint16_t>(cabinet.units.size()), 0xFFFD, 0xFFFE, 0xFFFF}));
        return true;
    case 3:
        file.size = static_cast<uint32_t>(random.Pick(std::vector<uint64_t>{
            0, 1, file.size + 1, 0x7FFFFFFF, 0xFFFFFFFF, 0x8000, 0x10000, random.Next() & 0xFFFFF}));
        return true;
    case 4:
        file.offset = static_cast<uint32_t>(random.Pick(std::vector<uint64_t>{
            0, file.offset + 1, 0x7FFF, 0x8000, 0xFFFFFFFF, random.Next() & 0xFFFFF}));
        return true;
    case 5:
        file.attribs = static_cast<uint16_t>(file.attribs ^ (1u << random.Below(16)));
        return true;
    default: {
        FileRecord copy = file;
        if (random.OneIn(2)) {
            copy.name += random.OneIn(2) ? "" : "2";
        }
        cabinet.files.insert(cabinet.files.begin() + static_cast<long>(random.Below(cabinet.files.size() + 1)), copy);
        return true;
    }
    }
}

}  // namespace

bool Parse(const uint8_t* bytes, size_t size, Cabinet& cabinet)
{
    cabinet = Cabinet();
    if (size < 36 || Get(bytes, size, 0, 4) != cab::kSignature) {
        return false;
    }
    cabinet.header.assign(bytes, bytes + 36);
    uint16_t flags = static_cast<uint16_t>(Get(bytes, size, 30, 2));
    uint64_t at = 36;
    if (flags & cab::kFlagReservePresent) {
        cabinet.reservePresent = true;
        uint64_t headerReserve = Get(bytes, size, 36, 2);
        cabinet.unitReserve = static_cast<uint8_t>(Get(bytes, size, 38, 1));
        cabinet.blockReserve = static_cast<uint8_t>(Get(bytes, size, 39, 1));
        at = 40 + headerReserve;
        if (at > size) {
            return false;
        }
        cabinet.headerReserve.assign(bytes + 40, bytes + at);
    }
    for (int set = 0; set < 2; ++set) {
        if (flags & (set == 0 ? cab::kFlagPrevCabinet : cab::kFlagNextCabinet)) {
            if (!ReadName(bytes, size, at, cabinet.setNames[2 * set]) ||
                !ReadName(bytes, size, at, cabinet.setNames[2 * set + 1])) {
                return false;
            }
        }
    }
    uint64_t units = Get(bytes, size, 26, 2);
    uint64_t files = Get(bytes, size, 28, 2);
    if (units > 64 || files > 1024) {
        return false;
    }
    for (uint64_t i = 0; i < units; ++i) {
        if (at + 8 + cabinet.unitReserve > size) {
            return false;
        }
        Unit unit;
        uint64_t blockAt = Get(bytes, size, at, 4);
        uint64_t blocks = Get(bytes, size, at + 4, 2);
        unit.type = static_cast<uint16_t>(Get(bytes, size, at + 6, 2));
        unit.reserve.assign(bytes + at + 8, bytes + at + 8 + cabinet.unitReserve);
        at += 8 + cabinet.unitReserve;
        for (uint64_t b = 0; b < blocks; ++b) {
            if (blockAt + 8 + cabinet.blockReserve > size) {
                return false;
            }
            Block block;
            block.csum = static_cast<uint32_t>(Get(bytes, size, blockAt, 4));
            uint64_t length = Get(bytes, size, blockAt + 4, 2);
            block.uncompressed = static_cast<uint16_t>(Get(bytes, size, blockAt + 6, 2));
            uint64_t dataAt = blockAt + 8 + cabinet.blockReserve;
            if (dataAt + length > size) {
                return false;
            }
            block.reserve.assign(bytes + blockAt + 8, bytes + dataAt);
            block.data.assign(bytes + dataAt, bytes + dataAt + length);
            // A checksum that does not match stays wrong; a right one is
            // computed again after any change.
            block.keepChecksum = block.csum != cab::BlockChecksum(static_cast<uint16_t>(length), block.uncompressed,
                                                                  block.reserve.data(), block.reserve.size(),
                                                                  block.data.data());
            unit.blocks.push_back(std::move(block));
            blockAt = dataAt + length;
        }
        cabinet.units.push_back(std::move(unit));
    }
    at = Get(bytes, size, 16, 4);
    for (uint64_t i = 0; i < files; ++i) {
        if (at + 16 > size) {
            return false;
        }
        FileRecord file;
        file.size = static_cast<uint32_t>(Get(bytes, size, at, 4));
        file.offset = static_cast<uint32_t>(Get(bytes, size, at + 4, 4));
        file.unit = static_cast<uint16_t>(Get(bytes, size, at + 8, 2));
        file.date = static_cast<uint16_t>(Get(bytes, size, at + 10, 2));
        file.time = static_cast<uint16_t>(Get(bytes, size, at + 12, 2));
        file.attribs = static_cast<uint16_t>(Get(bytes, size, at + 14, 2));
        at += 16;
        if (!ReadName(bytes, size, at, file.name)) {
            return false;
        }
        cabinet.files.push_back(std::move(file));
    }
    return true;
}

Bytes Serialize(const Cabinet& cabinet)
{
    Bytes out = cabinet.header;
    out.resize(36);
    uint16_t flags = static_cast<uint16_t>(fuzzbytes::Get(out.data(), out.size(), 30, 2));
    flags = static_cast<uint16_t>(cabinet.reservePresent ? flags | cab::kFlagReservePresent
                                                         : flags & ~cab::kFlagReservePresent);
    if (cabinet.reservePresent) {
        Append(out, cabinet.headerReserve.size(), 2);
        out.push_back(cabinet.unitReserve);
        out.push_back(cabinet.blockReserve);
        out.insert(out.end(), cabinet.headerReserve.begin(), cabinet.headerReserve.end());
    }
    for (int set = 0; set < 2; ++set) {
        if (flags & (set == 0 ? cab::kFlagPrevCabinet : cab::kFlagNextCabinet)) {
            for (int i = 0; i < 2; ++i) {
                out.insert(out.end(), cabinet.setNames[2 * set + i].begin(), cabinet.setNames[2 * set + i].end());
                out.push_back(0);
            }
        }
    }
    size_t unitTable = out.size();
    uint8_t unitReserve = cabinet.reservePresent ? cabinet.unitReserve : 0;
    uint8_t blockReserve = cabinet.reservePresent ? cabinet.blockReserve : 0;
    for (const Unit& unit : cabinet.units) {
        Append(out, 0, 4);
        Append(out, unit.blocks.size(), 2);
        Append(out, unit.type, 2);
        Bytes reserve = unit.reserve;
        reserve.resize(unitReserve);
        out.insert(out.end(), reserve.begin(), reserve.end());
    }
    size_t fileTable = out.size();
    for (const FileRecord& file : cabinet.files) {
        Append(out, file.size, 4);
        Append(out, file.offset, 4);
        Append(out, file.unit, 2);
        Append(out, file.date, 2);
        Append(out, file.time, 2);
        Append(out, file.attribs, 2);
        out.insert(out.end(), file.name.begin(), file.name.end());
        out.push_back(0);
    }
    for (size_t u = 0; u < cabinet.units.size(); ++u) {
        Put(out, unitTable + u * (8 + unitReserve), out.size(), 4);
        for (const Block& block : cabinet.units[u].blocks) {
            Bytes reserve = block.reserve;
            reserve.resize(blockReserve);
            uint16_t length = static_cast<uint16_t>(block.data.size());
            uint32_t csum = block.keepChecksum ? block.csum
                                               : cab::BlockChecksum(length, block.uncompressed, reserve.data(),
                                                                    reserve.size(), block.data.data());
            Append(out, csum, 4);
            Append(out, length, 2);
            Append(out, block.uncompressed, 2);
            out.insert(out.end(), reserve.begin(), reserve.end());
            out.insert(out.end(), block.data.begin(), block.data.begin() + length);
        }
    }
    Put(out, 8, out.size(), 4);
    Put(out, 16, fileTable, 4);
    Put(out, 26, cabinet.units.size(), 2);
    Put(out, 28, cabinet.files.size(), 2);
    Put(out, 30, flags, 2);
    return out;
}

std::vector<Bytes> Reductions(const Cabinet& cabinet)
{
    std::vector<Bytes> out;
    for (size_t i = 0; i < cabinet.files.size(); ++i) {
        Cabinet changed = cabinet;
        changed.files.erase(changed.files.begin() + static_cast<long>(i));
        out.push_back(Serialize(changed));
        if (cabinet.files[i].name.size() > 1) {
            changed = cabinet;
            changed.files[i].name = std::string(1, static_cast<char>('a' + i % 26));
            out.push_back(Serialize(changed));
        }
    }
    for (size_t u = 0; u < cabinet.units.size(); ++u) {
        Cabinet changed = cabinet;
        changed.units.erase(changed.units.begin() + static_cast<long>(u));
        out.push_back(Serialize(changed));
        for (size_t b = 0; b < cabinet.units[u].blocks.size(); ++b) {
            changed = cabinet;
            std::vector<Block>& blocks = changed.units[u].blocks;
            blocks.erase(blocks.begin() + static_cast<long>(b));
            out.push_back(Serialize(changed));
            if (cabinet.units[u].blocks[b].data.size() > 1) {
                changed = cabinet;
                Bytes& data = changed.units[u].blocks[b].data;
                data.resize(data.size() / 2);
                out.push_back(Serialize(changed));
            }
        }
    }
    if (cabinet.reservePresent) {
        Cabinet changed = cabinet;
        changed.reservePresent = false;
        out.push_back(Serialize(changed));
    }
    return out;
}

bool MutateStructure(Cabinet& cabinet, Random& random)
{
    if (cabinet.header.size() != 36) {
        return false;
    }
    switch (random.Below(10)) {
    case 0:
    case 1:
    case 2:
        if (!cabinet.units.empty()) {
            return MutateUnit(cabinet, cabinet.units[random.Below(cabinet.units.size())], random);
        }
        cabinet.units.emplace_back();
        NewUnitData(cabinet.units.back(), random);
        return true;
    case 3:
    case 4:
    case 5:
        if (!cabinet.files.empty()) {
            return MutateFile(cabinet, cabinet.files[random.Below(cabinet.files.size())], random);
        }
        return false;
    case 6:
        if (random.OneIn(2) && !cabinet.files.empty()) {
            cabinet.files.erase(cabinet.files.begin() + static_cast<long>(random.Below(cabinet.files.size())));
        } else if (!cabinet.units.empty()) {
            Unit copy = cabinet.units[random.Below(cabinet.units.size())];
            cabinet.units.insert(cabinet.units.begin() + static_cast<long>(random.Below(cabinet.units.size() + 1)), copy);
        }
        return true;
    case 7:
        cabinet.reservePresent = !cabinet.reservePresent || random.OneIn(2);
        cabinet.headerReserve.assign(random.Skewed(300), 'R');
        cabinet.unitReserve = static_cast<uint8_t>(random.OneIn(2) ? 0 : random.Skewed(256));
        cabinet.blockReserve = static_cast<uint8_t>(random.OneIn(2) ? 0 : random.Skewed(256));
        return true;
    case 8: {
        uint16_t flags = static_cast<uint16_t>(fuzzbytes::Get(cabinet.header.data(), 36, 30, 2));
        flags ^= static_cast<uint16_t>(1u << random.Below(2));
        Put(cabinet.header, 30, flags, 2);
        for (std::string& name : cabinet.setNames) {
            name = random.OneIn(3) ? random.Pick(fuzzbytes::HostileNames()) : std::string("part.cab");
            std::replace(name.begin(), name.end(), '\0', 'x');
        }
        return true;
    }
    default:
        Put(cabinet.header, 24, random.Next(), 2);
        Put(cabinet.header, 32, random.Next(), random.OneIn(2) ? 2 : 4);
        return true;
    }
}

}  // namespace fuzzcab
