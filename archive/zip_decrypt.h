// Decryption of one ZIP entry between its local header and its data's end:
// which cipher, with which password, and what the data becomes inside.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/zip_crypto.h"

class CZipFile;

namespace zip {

// The password of one action: every entry of the action is tried with it,
// and it lives only in this object, overwritten when the object ends.
class PasswordSession {
public:
    bool HasPassword() const { return given_; }
    // Takes what the user typed, and overwrites the typed text; it is not
    // proven yet.
    void Take(WString& typed);
    // Takes a password as the bytes it is stored as, tried as they are: the
    // bytes of a protection, which were proven when it was made.
    void TakeBytes(const SecretBytes& bytes);
    // The byte strings to try, the one that opened the last entry first.
    const std::vector<SecretBytes>& Encodings() const { return encodings_; }
    void Prefer(size_t index);
    // Whether the password has opened an entry whose data or code could
    // only come out right with it (not only a header's check).
    bool Proven() const { return proven_; }
    void SetProven() { proven_ = true; }

private:
    std::vector<SecretBytes> encodings_;
    bool given_ = false;
    bool proven_ = false;
};

// One encrypted entry's cipher, opened by its header before the data and
// checked after the data.
class EntryDecryption {
public:
    bool IsActive() const { return pkware_ || aes_; }
    // The method of the data inside the encryption.
    uint16_t Method() const { return method_; }
    // The encrypted bytes of the data itself, without header and code.
    uint32_t DataSize() const { return dataSize_; }
    // AE-2 stores zero for the CRC: its authentication code protects the data.
    bool ChecksCrc() const { return checksCrc_; }
    bool IsAes() const { return aes_ != nullptr; }

    bool Decrypt(uint8_t* bytes, size_t count, WString& error);

private:
    friend class ::CZipFile;

    std::unique_ptr<PkwareCipher> pkware_;
    std::unique_ptr<AesCtrCipher> aes_;
    uint16_t method_ = 0;
    uint32_t dataSize_ = 0;
    bool checksCrc_ = true;
};

inline bool IsEncrypted(uint16_t flags, uint16_t method)
{
    return (flags & kFlagEncrypted) != 0 || method == kMethodAes;
}

}  // namespace zip
