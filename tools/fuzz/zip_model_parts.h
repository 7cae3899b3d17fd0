// What zip_model.cpp and the structural mutations share: where the fields
// of the headers lie, the blocks of an extra field, and an entry's data
// in the clear.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/zip_crypto.h"
#include "tools/fuzz/zip_model.h"

namespace fuzzzip {

const uint32_t kMarker = 0xFFFFFFFF;
// Offsets of the central header's fields.
const size_t kCentralFlags = 8, kCentralMethod = 10, kCentralCrc = 16, kCentralPacked = 20, kCentralSize = 24,
             kCentralOffset = 42;
// And of the local header's.
const size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14, kLocalPacked = 18, kLocalSize = 22;

inline uint64_t Get(const Bytes& bytes, size_t at, int width)
{
    return fuzzbytes::Get(bytes.data(), bytes.size(), at, width);
}

bool FindBlock(const Bytes& extra, uint16_t id, size_t& dataAt, size_t& dataSize);
void DropBlocks(Bytes& extra, uint16_t id);
void AddBlock(Bytes& extra, uint16_t id, const Bytes& data);
// Where the Zip64 value of a central header's field lies (0 size, 1
// packed size, 2 offset): each marked field takes the next eight bytes of
// the block. False when the block has no room for it.
bool Zip64Slot(const Entry& entry, int field, size_t& at);
uint64_t PackedSizeOf(const Entry& entry);

bool Inflate(const uint8_t* packed, size_t size, Bytes& plain);
uint32_t Crc(const Bytes& bytes);
zip::SecretBytes Password();
bool IsEncrypted(const Entry& entry);
// The entry's data in the clear and its method inside the encryption;
// false for AES with a wrong password or a broken header.
bool PlainData(const Entry& entry, Bytes& plain, uint16_t& method);
// A field of both headers at once.
void SetBoth(Entry& entry, size_t centralAt, size_t localAt, uint64_t value, int width);
// Gives the entry new data in the clear (method 0 or 8) with its CRC and
// sizes, dropping any encryption and descriptor.
void SetData(Entry& entry, uint16_t method, const Bytes& plain, const Bytes& packed);

}  // namespace fuzzzip
