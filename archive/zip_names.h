// How the name of a ZIP entry is read from its stored bytes and written
// back: the code page of the system, or UTF-8 where the archive says so or
// where the bytes can only be UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/wstring.h"

namespace zip {

// General purpose flag bit 11: name and comment are UTF-8.
const uint16_t kFlagUtf8Name = 0x0800;
// Info-ZIP Unicode Path extra block: version 1, the CRC-32 of the stored
// name, the name in UTF-8.
const uint16_t kExtraUnicodePath = 0x7075;

// Where a decoded name came from.
enum class NameSource {
    kAnsi,              // the system code page
    kUtf8Flag,          // flag bit 11
    kUnicodePathExtra,  // the 0x7075 block, its CRC matching the stored name
    kUtf8Fallback,      // not valid in the code page, valid UTF-8
};

// Decodes the stored name: UTF-8 when flag bit 11 is set (and the bytes
// are UTF-8); else the Unicode Path block of the extra field when its CRC
// matches the stored bytes; else the code page when the bytes are valid
// there; else UTF-8 when they are valid UTF-8; else the code page, replacing
// what it cannot read.
WString DecodeEntryName(const char* bytes, size_t length, uint16_t flags, const uint8_t* extra, size_t extraLength,
                        NameSource* source = nullptr);
// The same decoding into a buffer that the caller keeps from name to name,
// so that reading a directory of many entries allocates no text per name;
// units holds the name's units and nothing else afterwards.
void DecodeEntryNameInto(const char* bytes, size_t length, uint16_t flags, const uint8_t* extra, size_t extraLength,
                         std::vector<wchar_t>& units, NameSource* source = nullptr);

// The CRC-32 of ZIP archives, for the Unicode Path block's check (the
// engine reads names before zlib is bound).
uint32_t Crc32(const void* bytes, size_t length);
// One byte into the CRC-32 register, without the final inversion: the
// traditional cipher's key schedule is built on it.
uint32_t Crc32Step(uint32_t crc, uint8_t byte);

}  // namespace zip
