// Little-endian integers and file times read from the bytes of archive
// records, wherever they lie: the reads make no assumption of alignment.
#pragma once

#include <windows.h>
#include <cstdint>

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t LoadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t LoadU64(const uint8_t* p) { return LoadU32(p) | static_cast<uint64_t>(LoadU32(p + 4)) << 32; }

// A FILETIME as NTFS extra blocks store it: the 64-bit count of 100 ns.
inline FILETIME LoadFileTime(const uint8_t* p)
{
    FILETIME time;
    time.dwLowDateTime = LoadU32(p);
    time.dwHighDateTime = LoadU32(p + 4);
    return time;
}
