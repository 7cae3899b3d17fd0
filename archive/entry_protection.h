// How an entry is encrypted, with the password that opened it: what
// replaces the entry, or joins entries that are all encrypted alike, is
// stored the same way and never in the clear.
#pragma once

#include <cstdint>

#include "archive/zip_crypto.h"

struct EntryProtection {
    enum class Cipher { kNone, kTraditional, kAes };
    Cipher cipher = Cipher::kNone;
    // For AES: the key's strength (1 to 3) and the format's version (1: the
    // CRC is stored, 2: only the authentication code protects the data).
    uint8_t aesStrength = 0;
    uint16_t aesVersion = 0;
    // The bytes the password is stored as, in the encoding that opened the
    // entry; they live only in memory.
    zip::SecretBytes password;

    bool IsActive() const { return cipher != Cipher::kNone; }
};
