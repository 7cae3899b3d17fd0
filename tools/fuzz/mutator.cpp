#include "tools/fuzz/mutator.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "tools/fuzz/cab_model.h"
#include "tools/fuzz/coverage.h"
#include "tools/fuzz/zip_model.h"

namespace fuzzbytes {

const std::vector<std::string>& HostileNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list = {
            "../evil.txt", "..\\evil.txt", "a/../../evil.txt", "a\\..\\..\\evil.txt", "/abs.txt", "\\abs.txt",
            "C:\\evil.txt", "C:evil.txt", "c:/evil.txt", "\\\\server\\share\\evil.txt", "//server/share/evil.txt",
            "\\\\?\\C:\\evil.txt", "\\\\.\\evil.txt", "\\\\.\\PhysicalDrive0", "con", "CON.txt", "aux", "nul.txt",
            "com1", "LPT1.log", "conin$", "a:stream", "file.txt:Zone.Identifier", "name.", "name ", " name", "...",
            "..", ".", "./", "./a/./b.txt", "a//b.txt", "a\\\\b.txt", "dir/", "dir\\", "dir/../dir/x.txt", "a/b/",
            "\x93\xfa\x96\x7b\x8c\xea.txt", "\xe6\x97\xa5\xe6\x9c\xac.txt", "\xff\xfe\x80.txt", "\x81\x5c.txt",
            "a\x01" "b.txt", "tab\there", "star*.txt", "q?.txt", "lt<gt>.txt", "pipe|.txt", "quote\".txt",
            "a/\xe2\x80\xae" "txt.exe", "x", "A.TXT", "a.txt", "readme.txt", "sub/readme.txt", "sub\\readme.txt"};
        list.push_back(std::string(300, 'a'));
        list.push_back(std::string(255, 'b') + ".txt");
        std::string deep;
        for (int i = 0; i < 80; ++i) {
            deep += "d/";
        }
        list.push_back(deep + "deep.txt");
        list.push_back(std::string("nul\0byte.txt", 12));
        list.push_back(std::string());
        return list;
    }();
    return names;
}

}  // namespace fuzzbytes

namespace {

using fuzzbytes::Get;
using fuzzbytes::Put;

enum class FieldKind { kSize, kOffset, kCount, kLength, kMethod, kFlags, kStrength, kVersion, kUnitType, kAny };

struct Field {
    size_t at;
    int width;
    FieldKind kind;
};

void AddExtraFields(const std::vector<uint8_t>& data, size_t at, size_t length, std::vector<Field>& fields)
{
    size_t end = std::min(data.size(), at + length);
    while (at + 4 <= end) {
        uint64_t id = Get(data.data(), data.size(), at, 2);
        size_t size = static_cast<size_t>(Get(data.data(), data.size(), at + 2, 2));
        fields.push_back({at, 2, FieldKind::kAny});
        fields.push_back({at + 2, 2, FieldKind::kLength});
        if (id == 0x0001) {
            for (size_t v = 0; v + 8 <= size; v += 8) {
                fields.push_back({at + 4 + v, 8, v == 16 ? FieldKind::kOffset : FieldKind::kSize});
            }
        } else if (id == 0x9901 && size >= 7) {
            fields.push_back({at + 4, 2, FieldKind::kVersion});
            fields.push_back({at + 8, 1, FieldKind::kStrength});
            fields.push_back({at + 9, 2, FieldKind::kMethod});
        }
        at += 4 + size;
    }
}

// The fields of every record that a signature shows in the bytes.
void ZipFields(const std::vector<uint8_t>& data, std::vector<Field>& fields)
{
    const uint8_t* b = data.data();
    size_t n = data.size();
    for (size_t at = 0; at + 4 <= n; ++at) {
        if (b[at] != 'P' || b[at + 1] != 'K') {
            continue;
        }
        uint16_t kind = static_cast<uint16_t>(Get(b, n, at + 2, 2));
        switch (kind) {
        case 0x0201:
            fields.insert(fields.end(), {{at + 6, 2, FieldKind::kVersion}, {at + 8, 2, FieldKind::kFlags},
                                         {at + 10, 2, FieldKind::kMethod}, {at + 16, 4, FieldKind::kAny},
                                         {at + 20, 4, FieldKind::kSize}, {at + 24, 4, FieldKind::kSize},
                                         {at + 28, 2, FieldKind::kLength}, {at + 30, 2, FieldKind::kLength},
                                         {at + 32, 2, FieldKind::kLength}, {at + 34, 2, FieldKind::kCount},
                                         {at + 38, 4, FieldKind::kFlags}, {at + 42, 4, FieldKind::kOffset}});
            AddExtraFields(data, at + 46 + Get(b, n, at + 28, 2), static_cast<size_t>(Get(b, n, at + 30, 2)), fields);
            break;
        case 0x0403:
            fields.insert(fields.end(), {{at + 4, 2, FieldKind::kVersion}, {at + 6, 2, FieldKind::kFlags},
                                         {at + 8, 2, FieldKind::kMethod}, {at + 14, 4, FieldKind::kAny},
                                         {at + 18, 4, FieldKind::kSize}, {at + 22, 4, FieldKind::kSize},
                                         {at + 26, 2, FieldKind::kLength}, {at + 28, 2, FieldKind::kLength}});
            AddExtraFields(data, at + 30 + Get(b, n, at + 26, 2), static_cast<size_t>(Get(b, n, at + 28, 2)), fields);
            break;
        case 0x0605:
            fields.insert(fields.end(), {{at + 4, 2, FieldKind::kCount}, {at + 6, 2, FieldKind::kCount},
                                         {at + 8, 2, FieldKind::kCount}, {at + 10, 2, FieldKind::kCount},
                                         {at + 12, 4, FieldKind::kSize}, {at + 16, 4, FieldKind::kOffset},
                                         {at + 20, 2, FieldKind::kLength}});
            break;
        case 0x0606:
            fields.insert(fields.end(), {{at + 4, 8, FieldKind::kSize}, {at + 16, 4, FieldKind::kCount},
                                         {at + 20, 4, FieldKind::kCount}, {at + 24, 8, FieldKind::kCount},
                                         {at + 32, 8, FieldKind::kCount}, {at + 40, 8, FieldKind::kSize},
                                         {at + 48, 8, FieldKind::kOffset}});
            break;
        case 0x0706:
            fields.insert(fields.end(), {{at + 4, 4, FieldKind::kCount}, {at + 8, 8, FieldKind::kOffset},
                                         {at + 16, 4, FieldKind::kCount}});
            break;
        case 0x0807:
            fields.insert(fields.end(), {{at + 4, 4, FieldKind::kAny}, {at + 8, 4, FieldKind::kSize},
                                         {at + 12, 4, FieldKind::kSize}});
            break;
        default:
            break;
        }
    }
}

// The fields of a cabinet, walked from its header as far as they go.
void CabFields(const std::vector<uint8_t>& data, std::vector<Field>& fields)
{
    const uint8_t* b = data.data();
    size_t n = data.size();
    if (n < 36) {
        return;
    }
    fields.insert(fields.end(), {{8, 4, FieldKind::kSize}, {16, 4, FieldKind::kOffset}, {24, 2, FieldKind::kVersion},
                                 {26, 2, FieldKind::kCount}, {28, 2, FieldKind::kCount}, {30, 2, FieldKind::kFlags},
                                 {34, 2, FieldKind::kCount}});
    uint16_t flags = static_cast<uint16_t>(Get(b, n, 30, 2));
    size_t at = 36;
    uint64_t unitReserve = 0, blockReserve = 0;
    if (flags & 4) {
        fields.insert(fields.end(), {{36, 2, FieldKind::kLength}, {38, 1, FieldKind::kLength},
                                     {39, 1, FieldKind::kLength}});
        unitReserve = Get(b, n, 38, 1);
        blockReserve = Get(b, n, 39, 1);
        at = 40 + static_cast<size_t>(Get(b, n, 36, 2));
    }
    for (int names = (flags & 1 ? 2 : 0) + (flags & 2 ? 2 : 0); names > 0 && at < n; --names) {
        const void* end = memchr(b + at, 0, n - at);
        at = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - b) + 1 : n;
    }
    uint64_t units = std::min<uint64_t>(Get(b, n, 26, 2), 64);
    for (uint64_t u = 0; u < units && at + 8 <= n; ++u) {
        fields.insert(fields.end(), {{at, 4, FieldKind::kOffset}, {at + 4, 2, FieldKind::kCount},
                                     {at + 6, 2, FieldKind::kUnitType}});
        size_t block = static_cast<size_t>(Get(b, n, at, 4));
        for (uint64_t k = 0, blocks = std::min<uint64_t>(Get(b, n, at + 4, 2), 64); k < blocks && block + 8 <= n; ++k) {
            fields.insert(fields.end(), {{block, 4, FieldKind::kAny}, {block + 4, 2, FieldKind::kSize},
                                         {block + 6, 2, FieldKind::kSize}});
            block += 8 + static_cast<size_t>(blockReserve + Get(b, n, block + 4, 2));
        }
        at += 8 + static_cast<size_t>(unitReserve);
    }
    at = static_cast<size_t>(Get(b, n, 16, 4));
    for (uint64_t f = 0, files = std::min<uint64_t>(Get(b, n, 28, 2), 256); f < files && at + 16 <= n; ++f) {
        fields.insert(fields.end(), {{at, 4, FieldKind::kSize}, {at + 4, 4, FieldKind::kOffset},
                                     {at + 8, 2, FieldKind::kCount}, {at + 14, 2, FieldKind::kFlags}});
        const void* end = memchr(b + at + 16, 0, n - at - 16);
        at = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - b) + 1 : n;
    }
}

uint64_t Mask(int width) { return width >= 8 ? ~0ULL : (1ULL << (8 * width)) - 1; }

uint64_t ValueFor(const Field& field, uint64_t old, size_t size, Random& random)
{
    uint64_t all = Mask(field.width);
    switch (field.kind) {
    case FieldKind::kSize:
    case FieldKind::kLength:
    case FieldKind::kOffset:
    case FieldKind::kCount: {
        std::vector<uint64_t> choices = {0,       1,         old + 1,  old - 1,        old + random.Skewed(64),
                                         old * 2, old / 2,   all,      all - 1,        all >> 1,
                                         size,    size - 1,  size + 1, size - field.at, random.Skewed(size + 1),
                                         0x8000,  0x10000,   0xFFFF,   0x7FFFFFFF,     0x80000000};
        return random.Pick(choices) & all;
    }
    case FieldKind::kMethod:
        return random.Pick(std::vector<uint64_t>{0, 1, 6, 8, 9, 12, 14, 19, 93, 95, 96, 97, 98, 99, random.Next()}) & all;
    case FieldKind::kFlags:
        return random.OneIn(4) ? random.Next() & all : old ^ (1ULL << random.Below(static_cast<size_t>(8 * field.width)));
    case FieldKind::kStrength:
        return random.Pick(std::vector<uint64_t>{0, 1, 2, 3, 4, 0x80, 0xFF});
    case FieldKind::kVersion:
        return random.Pick(std::vector<uint64_t>{0, 1, 2, 3, 10, 20, 45, 63, 0x0303, 0xFFFF}) & all;
    case FieldKind::kUnitType:
        return random.Pick(std::vector<uint64_t>{0, 1, 2, 3, 4, 0x0F, 0x0F03, 0x1003, 0x1503, 0x1603, 0x1F03, 0x0A02,
                                                 0x1502, 0x1602, random.Next()}) &
               all;
    default:
        return random.OneIn(2) ? random.Next() & all : old ^ (1ULL << random.Below(static_cast<size_t>(8 * field.width)));
    }
}

const uint64_t kInteresting[] = {0,      1,      2,          0x7F,       0x80,       0xFF,      0x100,
                                 0x7FFF, 0x8000, 0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000, 0xFFFFFFFE,
                                 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFFULL, 0x02014b50, 0x04034b50, 0x06054b50,
                                 0x4643534D};

}  // namespace

void Mutator::Mutate(std::vector<uint8_t>& data, const std::vector<uint8_t>& other, size_t maxLength, InputKind kind)
{
    size_t steps = 1 + random_.Skewed(8);
    bool fixChecksums = random_.OneIn(3);
    for (size_t s = 0; s < steps; ++s) {
        size_t choice = random_.Below(10);
        bool done = false;
        if (choice < 3) {
            done = MutateStructure(data, kind, fixChecksums && s + 1 == steps);
        } else if (choice < 6) {
            done = MutateField(data, kind);
        } else if (choice == 6) {
            done = UseComparison(data);
        }
        if (!done) {
            MutateBytes(data, other, maxLength);
        }
    }
    if (fixChecksums && kind == InputKind::kZip && random_.OneIn(2)) {
        fuzzzip::Archive archive;
        if (fuzzzip::Parse(data.data(), data.size(), archive)) {
            fuzzzip::FixChecksums(archive);
            data = fuzzzip::Serialize(archive);
        }
    }
    if (data.size() > maxLength) {
        data.resize(maxLength);
    }
}

void Mutator::MutateBytes(std::vector<uint8_t>& data, const std::vector<uint8_t>& other, size_t maxLength)
{
    // Half of the changes go to the last 600 bytes, where the directory of
    // a small archive lies, or to the first 100, where a cabinet's does.
    auto position = [&]() -> size_t {
        if (data.empty()) {
            return 0;
        }
        switch (random_.Below(4)) {
        case 0:
            return data.size() - 1 - random_.Below(std::min<size_t>(data.size(), 600));
        case 1:
            return random_.Below(std::min<size_t>(data.size(), 100));
        default:
            return random_.Below(data.size());
        }
    };
    switch (random_.Below(11)) {
    case 0:
        if (!data.empty()) {
            data[position()] ^= static_cast<uint8_t>(1u << random_.Below(8));
        }
        break;
    case 1:
        if (!data.empty()) {
            data[position()] = static_cast<uint8_t>(random_.Next());
        }
        break;
    case 2: {
        int width = 1 << random_.Below(4);
        uint64_t value = kInteresting[random_.Below(sizeof kInteresting / sizeof kInteresting[0])];
        if (random_.OneIn(3)) {
            value = data.size() - random_.Below(64);
        }
        size_t at = position();
        if (at + width <= data.size()) {
            Put(data, at, value, width);
        }
        break;
    }
    case 3: {
        int width = 1 << random_.Below(3);
        size_t at = position();
        if (at + width <= data.size()) {
            uint64_t value = Get(data.data(), data.size(), at, width);
            int64_t delta = static_cast<int64_t>(random_.Below(35)) + 1;
            Put(data, at, random_.OneIn(2) ? value + delta : value - delta, width);
        }
        break;
    }
    case 4:
        if (!data.empty()) {
            size_t at = position();
            size_t count = std::min(data.size() - at, 1 + random_.Skewed(data.size()));
            data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + count));
        }
        break;
    case 5: {
        size_t at = data.empty() ? 0 : position();
        size_t count = 1 + random_.Skewed(256);
        uint8_t fill = static_cast<uint8_t>(random_.OneIn(2) ? random_.Next() : 0);
        data.insert(data.begin() + static_cast<long>(at), count, fill);
        break;
    }
    case 6:
        if (data.size() >= 2) {
            size_t from = random_.Below(data.size());
            size_t count = std::min(data.size() - from, 1 + random_.Skewed(data.size()));
            std::vector<uint8_t> run(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + count));
            size_t to = random_.Below(data.size() + 1);
            data.insert(data.begin() + static_cast<long>(to), run.begin(), run.end());
        }
        break;
    case 7:
        if (!data.empty()) {
            if (random_.OneIn(3)) {
                data.erase(data.begin(), data.begin() + static_cast<long>(random_.Below(data.size())));
            } else {
                data.resize(random_.Below(data.size()));
            }
        }
        break;
    case 8:
    case 9:
        if (!other.empty()) {
            size_t keep = random_.Below(data.size() + 1);
            size_t from = random_.Below(other.size());
            if (random_.OneIn(2)) {
                data.resize(keep);
                data.insert(data.end(), other.begin() + static_cast<long>(from), other.end());
            } else {
                size_t count = std::min(other.size() - from, 1 + random_.Skewed(other.size()));
                data.insert(data.begin() + static_cast<long>(keep), other.begin() + static_cast<long>(from),
                            other.begin() + static_cast<long>(from + count));
            }
        }
        break;
    default: {
        static const char* signatures[] = {"PK\x01\x02", "PK\x03\x04", "PK\x05\x06", "PK\x06\x06", "PK\x06\x07",
                                           "PK\x07\x08", "MSCF", "CK"};
        const char* signature = signatures[random_.Below(8)];
        size_t length = strlen(signature);
        size_t at = position();
        if (random_.OneIn(2) || at + length > data.size()) {
            data.insert(data.begin() + static_cast<long>(std::min(at, data.size())), signature, signature + length);
        } else {
            memcpy(data.data() + at, signature, length);
        }
        break;
    }
    }
    if (data.size() > maxLength) {
        data.resize(maxLength);
    }
}

bool Mutator::MutateField(std::vector<uint8_t>& data, InputKind kind)
{
    std::vector<Field> fields;
    if (kind == InputKind::kZip) {
        ZipFields(data, fields);
    } else {
        CabFields(data, fields);
    }
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [&](const Field& f) { return f.at + static_cast<size_t>(f.width) > data.size(); }),
                 fields.end());
    if (fields.empty()) {
        return false;
    }
    const Field& field = fields[random_.Below(fields.size())];
    uint64_t old = Get(data.data(), data.size(), field.at, field.width);
    Put(data, field.at, ValueFor(field, old, data.size(), random_), field.width);
    return true;
}

bool Mutator::MutateStructure(std::vector<uint8_t>& data, InputKind kind, bool fixChecksums)
{
    if (kind == InputKind::kZip) {
        fuzzzip::Archive archive;
        if (!fuzzzip::Parse(data.data(), data.size(), archive) || !fuzzzip::MutateStructure(archive, random_)) {
            return false;
        }
        if (fixChecksums) {
            fuzzzip::FixChecksums(archive);
        }
        data = fuzzzip::Serialize(archive);
        return true;
    }
    fuzzcab::Cabinet cabinet;
    if (!fuzzcab::Parse(data.data(), data.size(), cabinet) || !fuzzcab::MutateStructure(cabinet, random_)) {
        return false;
    }
    data = fuzzcab::Serialize(cabinet);
    return true;
}

bool Mutator::UseComparison(std::vector<uint8_t>& data)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const fuzzcov::ComparedPair& pair = fuzzcov::PairAt(random_.Below(fuzzcov::kPairSlots));
        if (pair.width == 0 || data.size() < pair.width) {
            continue;
        }
        bool forward = random_.OneIn(2);
        uint64_t find = forward ? pair.a : pair.b;
        uint64_t put = forward ? pair.b : pair.a;
        std::vector<size_t> places;
        for (size_t at = 0; at + pair.width <= data.size() && places.size() < 16; ++at) {
            if (Get(data.data(), data.size(), at, pair.width) == find) {
                places.push_back(at);
            }
        }
        if (places.empty()) {
            continue;
        }
        Put(data, places[random_.Below(places.size())], put, pair.width);
        return true;
    }
    return false;
}
