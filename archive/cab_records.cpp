#include "archive/cab_records.h"

#include <vector>

namespace cab {

uint32_t Checksum(const void* bytes, size_t count, uint32_t seed)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t sum = seed;
    size_t words = count / 4;
    for (size_t i = 0; i < words; ++i, p += 4) {
        sum ^= static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
    }
    // The last one to three bytes count from the high end of the word.
    uint32_t tail = 0;
    switch (count % 4) {
    case 3:
        tail |= static_cast<uint32_t>(*p++) << 16;
        [[fallthrough]];
    case 2:
        tail |= static_cast<uint32_t>(*p++) << 8;
        [[fallthrough]];
    case 1:
        tail |= *p;
        break;
    default:
        break;
    }
    return sum ^ tail;
}

uint32_t BlockChecksum(uint16_t cbData, uint16_t cbUncomp, const void* reserve, size_t reserveSize, const void* data)
{
    uint32_t dataSum = Checksum(data, cbData, 0);
    std::vector<uint8_t> tail;
    tail.push_back(static_cast<uint8_t>(cbData));
    tail.push_back(static_cast<uint8_t>(cbData >> 8));
    tail.push_back(static_cast<uint8_t>(cbUncomp));
    tail.push_back(static_cast<uint8_t>(cbUncomp >> 8));
    const uint8_t* r = static_cast<const uint8_t*>(reserve);
    tail.insert(tail.end(), r, r + reserveSize);
    return Checksum(tail.data(), tail.size(), dataSum);
}

}  // namespace cab
