// The ciphers of encrypted ZIP entries: the traditional PKWARE stream
// cipher, and WinZip's AES in counter mode with its HMAC-SHA1 code, whose
// primitives come from Windows' CNG.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_records.h"
#include "common/handles.h"
#include "common/wstring.h"

namespace zip {

// Bytes that must not outlive their use: a password, a derived key. They
// are overwritten when the owner ends.
class SecretBytes {
public:
    SecretBytes() = default;
    SecretBytes(const void* bytes, size_t count);
    ~SecretBytes() { Clear(); }
    SecretBytes(const SecretBytes& other) : SecretBytes(other.Data(), other.Size()) {}
    SecretBytes& operator=(const SecretBytes& other);

    const uint8_t* Data() const { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }
    bool operator==(const SecretBytes& other) const { return bytes_ == other.bytes_; }
    bool operator!=(const SecretBytes& other) const { return !(*this == other); }
    void Clear();

private:
    std::vector<uint8_t> bytes_;
};

// The byte strings a typed password may have been stored as: ASCII as it
// is; other text first in code page 932, then in UTF-8, as tools differ.
std::vector<SecretBytes> PasswordEncodings(const WString& password);

// The plain bytes of an encrypted entry, held whole in memory; they are
// overwritten before the memory goes back, as the password is.
class PlainBuffer {
public:
    PlainBuffer() = default;
    ~PlainBuffer() { Release(); }
    PlainBuffer(const PlainBuffer&) = delete;
    PlainBuffer& operator=(const PlainBuffer&) = delete;

    // False when the memory cannot be had.
    bool Allocate(size_t size);
    uint8_t* Data() const { return bytes_.get(); }
    // Whether the bytes must be overwritten when they are let go: set for
    // the data of an encrypted entry.
    void SetSecret(bool secret) { secret_ = secret; }
    void Release();

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
    bool secret_ = false;
};

// The traditional cipher: three keys stirred by every plain byte. The keys
// open the data as the password does, so they are overwritten at the end.
class PkwareCipher {
public:
    explicit PkwareCipher(const SecretBytes& password);
    ~PkwareCipher();
    PkwareCipher(const PkwareCipher&) = delete;
    PkwareCipher& operator=(const PkwareCipher&) = delete;
    // Decrypts the 12-byte header in place; true when its last byte is the
    // check byte (the CRC's high byte, or the DOS time's with a descriptor).
    bool OpenHeader(uint8_t* header, uint8_t check);
    void Decrypt(uint8_t* bytes, size_t count);
    // The writer's side: the header (random bytes, then the check byte) and
    // the data go through it in order.
    void Encrypt(uint8_t* bytes, size_t count);

private:
    void Update(uint8_t plain);
    uint8_t KeyByte() const;

    uint32_t keys_[3];
};

// The AES parameters of an entry's AES block.
struct AesParameters {
    uint16_t vendorVersion = 0;
    uint8_t strength = 0;
    uint16_t method = 0;
};
// Reads the AES block of an extra field; false when there is none or it is
// too short.
bool FindAesParameters(const uint8_t* extra, size_t length, AesParameters& parameters);
// The salt's length for a strength, 0 for an unknown strength.
size_t AesSaltSize(uint8_t strength);

// The CNG providers of AES entries, HMAC-SHA1 and AES in ECB mode, each
// opened on first use. Opening them costs more than a small entry's data,
// so one set serves every entry an archive object opens; one set serves
// one thread at a time.
class AesProviders {
public:
    AesProviders() = default;
    AesProviders(const AesProviders&) = delete;
    AesProviders& operator=(const AesProviders&) = delete;

    // The bytes PBKDF2-HMAC-SHA1 (1,000 rounds) derives from a password
    // and an entry's salt: the AES key, the HMAC key and the verifier.
    bool Derive(const SecretBytes& password, uint8_t strength, const uint8_t* salt, SecretBytes& derived);
    // Null when the provider cannot be opened; the reason in ErrorText.
    BCRYPT_ALG_HANDLE Hmac();
    BCRYPT_ALG_HANDLE Aes();
    const WString& ErrorText() const { return error_; }

private:
    ScopedBcryptAlgorithm hmac_;
    ScopedBcryptAlgorithm aes_;
    WString error_;
};

// AES in counter mode (a little-endian counter from 1) over CNG, with the
// HMAC-SHA1 of the encrypted bytes. Failures of CNG itself leave the
// reason in ErrorText. The key stream is overwritten when it is let go.
class AesCtrCipher {
public:
    // shared: providers that outlive the cipher; null: its own.
    explicit AesCtrCipher(AesProviders* shared = nullptr) : providers_(shared ? *shared : own_) {}
    ~AesCtrCipher();
    AesCtrCipher(const AesCtrCipher&) = delete;
    AesCtrCipher& operator=(const AesCtrCipher&) = delete;

    // Derives the keys with PBKDF2-HMAC-SHA1 (1,000 rounds); matches tells
    // whether the password verifier agrees. The keys are kept only when it
    // does.
    bool Open(const SecretBytes& password, uint8_t strength, const uint8_t* salt, const uint8_t* verifier,
              bool& matches);
    // The same with the bytes AesProviders::Derive gave for the entry's salt.
    bool OpenDerived(const SecretBytes& derived, uint8_t strength, const uint8_t* verifier, bool& matches);
    // The writer's side: derives the keys for a new salt and gives the
    // verifier to store beside it.
    bool Create(const SecretBytes& password, uint8_t strength, const uint8_t* salt, uint8_t* verifier);
    // In place, in pieces of any length; the code covers the encrypted
    // bytes either way.
    bool Decrypt(uint8_t* bytes, size_t count);
    bool Encrypt(uint8_t* bytes, size_t count);
    // The 10-byte code of every byte so far, to store or to compare.
    bool Code(uint8_t* code);
    bool CheckCode(const uint8_t* code, bool& matches);
    const WString& ErrorText() const { return error_; }

private:
    bool Fail(const char* call, long status);
    // Takes the derived bytes: gives their verifier and, unless expected is
    // given and differs from it, makes the keys.
    bool Start(const SecretBytes& derived, uint8_t strength, const uint8_t* expected, uint8_t* verifier);
    // Encrypts the next counter blocks, enough for wanted bytes as far as
    // the buffer goes.
    bool FillKeyStream(size_t wanted);
    bool Hash(const uint8_t* bytes, size_t count);
    bool Crypt(uint8_t* bytes, size_t count);

    // Before the key and the hash, which go first.
    AesProviders own_;
    AesProviders& providers_;
    ScopedBcryptKey key_;
    ScopedBcryptHash hash_;
    uint8_t counter_[16] = {};
    std::vector<uint8_t> stream_;
    size_t streamUsed_ = 0;
    size_t streamEnd_ = 0;
    WString error_;
};

}  // namespace zip
