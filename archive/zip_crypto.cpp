// The ciphers of encrypted ZIP entries.
#include "archive/zip_crypto.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "archive/arcfile.h"
#include "archive/zip_extra.h"
#include "archive/zip_names.h"

namespace {

const ULONG kPbkdf2Rounds = 1000;
const NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);
const size_t kSha1Size = 20;
const size_t kAesBlock = 16;
// Counter blocks encrypted by one CNG call: one call per 16 bytes would
// cost more than the decryption itself.
const size_t kKeyStreamSize = 64 * 1024;

// From this length on, a run of key stream is made by two threads.
const size_t kSplitFrom = 1 << 20;

// Encrypts the blocks that follow counter (a little-endian number, the last
// one used) into stream, bytes being whole blocks, in one CNG call, and
// leaves counter at the last block made.
NTSTATUS EncryptCounters(BCRYPT_KEY_HANDLE key, uint8_t* counter, uint8_t* stream, size_t bytes)
{
    for (size_t block = 0; block < bytes; block += kAesBlock) {
        for (size_t i = 0; i < kAesBlock && ++counter[i] == 0; ++i) {
        }
        memcpy(stream + block, counter, kAesBlock);
    }
    ULONG done = 0;
    return BCryptEncrypt(key, stream, static_cast<ULONG>(bytes), nullptr, nullptr, 0, stream,
                         static_cast<ULONG>(bytes), &done, 0);
}

// data ^= stream, eight bytes at a time; memcpy keeps it free of alignment
// needs.
void LayOver(uint8_t* data, const uint8_t* stream, size_t count)
{
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word = 0;
        uint64_t key = 0;
        memcpy(&word, data + i, 8);
        memcpy(&key, stream + i, 8);
        word ^= key;
        memcpy(data + i, &word, 8);
    }
    for (; i < count; ++i) {
        data[i] ^= stream[i];
    }
}

// The key stream from counter on laid over whole blocks of data, with a
// buffer of its own, so that two threads can each take a part.
NTSTATUS ApplyKeyStream(BCRYPT_KEY_HANDLE key, uint8_t* counter, uint8_t* data, size_t count)
{
    std::vector<uint8_t> stream(std::min(count, kKeyStreamSize));
    NTSTATUS status = 0;
    for (size_t done = 0; done < count && status >= 0;) {
        size_t piece = std::min(count - done, stream.size());
        status = EncryptCounters(key, counter, stream.data(), piece);
        if (status >= 0) {
            LayOver(data + done, stream.data(), piece);
            done += piece;
        }
    }
    // The key stream opens the data as the key does.
    SecureZeroMemory(stream.data(), stream.size());
    return status;
}

// Moves a little-endian counter on by a number of blocks.
void AddBlocks(uint8_t* counter, uint64_t blocks)
{
    unsigned carry = 0;
    for (size_t i = 0; i < kAesBlock; ++i) {
        unsigned sum = counter[i] + static_cast<unsigned>(blocks & 0xFF) + carry;
        counter[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
        blocks >>= 8;
    }
}

size_t AesKeySize(uint8_t strength) { return strength >= 1 && strength <= 3 ? 8 + 8 * size_t(strength) : 0; }

WString CngFailure(const char* call, long status)
{
    wchar_t code[32];
    wsprintfW(code, L" Error Code =0x%08lX", static_cast<unsigned long>(status));
    return LabelText(call) + code;
}

bool AppendEncoding(const WString& text, UINT codePage, DWORD flags, std::vector<zip::SecretBytes>& out)
{
    BOOL usedDefault = FALSE;
    BOOL* defaultFlag = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int needed = WideCharToMultiByte(codePage, flags, text.c_str(), text.Length(), nullptr, 0, nullptr, defaultFlag);
    if (needed <= 0 || usedDefault) {
        return false;
    }
    std::vector<char> bytes(static_cast<size_t>(needed));
    WideCharToMultiByte(codePage, flags, text.c_str(), text.Length(), bytes.data(), needed, nullptr, nullptr);
    out.emplace_back(bytes.data(), bytes.size());
    SecureZeroMemory(bytes.data(), bytes.size());
    return true;
}

}  // namespace

namespace zip {

SecretBytes::SecretBytes(const void* bytes, size_t count)
    : bytes_(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count)
{
}

bool PlainBuffer::Allocate(size_t size)
{
    Release();
    bytes_.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    size_ = bytes_ ? size : 0;
    return bytes_ != nullptr;
}

void PlainBuffer::Release()
{
    if (bytes_ && secret_ && size_ > 0) {
        SecureZeroMemory(bytes_.get(), size_);
    }
    bytes_.reset();
    size_ = 0;
}

SecretBytes& SecretBytes::operator=(const SecretBytes& other)
{
    if (this != &other) {
        Clear();
        bytes_ = other.bytes_;
    }
    return *this;
}

void SecretBytes::Clear()
{
    if (!bytes_.empty()) {
        SecureZeroMemory(bytes_.data(), bytes_.size());
    }
    bytes_.clear();
}

std::vector<SecretBytes> PasswordEncodings(const WString& password)
{
    std::vector<SecretBytes> encodings;
    bool ascii = true;
    for (int i = 0; i < password.Length(); ++i) {
        ascii = ascii && password.At(i) < 0x80;
    }
    if (ascii) {
        AppendEncoding(password, CP_UTF8, 0, encodings);
        if (password.IsEmpty()) {
            encodings.emplace_back();
        }
        return encodings;
    }
    AppendEncoding(password, 932, WC_NO_BEST_FIT_CHARS, encodings);
    AppendEncoding(password, CP_UTF8, 0, encodings);
    return encodings;
}

PkwareCipher::PkwareCipher(const SecretBytes& password) : keys_{0x12345678U, 0x23456789U, 0x34567890U}
{
    for (size_t i = 0; i < password.Size(); ++i) {
        Update(password.Data()[i]);
    }
}

PkwareCipher::~PkwareCipher() { SecureZeroMemory(keys_, sizeof keys_); }

void PkwareCipher::Update(uint8_t plain)
{
    keys_[0] = zip::Crc32Step(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813U + 1;
    keys_[2] = zip::Crc32Step(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

uint8_t PkwareCipher::KeyByte() const
{
    uint32_t temp = (keys_[2] | 2) & 0xFFFF;
    return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void PkwareCipher::Decrypt(uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t plain = static_cast<uint8_t>(bytes[i] ^ KeyByte());
        Update(plain);
        bytes[i] = plain;
    }
}

void PkwareCipher::Encrypt(uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t plain = bytes[i];
        bytes[i] = static_cast<uint8_t>(plain ^ KeyByte());
        Update(plain);
    }
}

bool PkwareCipher::OpenHeader(uint8_t* header, uint8_t check)
{
    Decrypt(header, kPkwareHeaderSize);
    return header[kPkwareHeaderSize - 1] == check;
}

bool FindAesParameters(const uint8_t* extra, size_t length, AesParameters& parameters)
{
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!FindExtraBlock(extra, length, kExtraAes, data, size) || size < sizeof(AesExtraData)) {
        return false;
    }
    AesExtraData block;
    memcpy(&block, data, sizeof block);
    parameters.vendorVersion = block.vendorVersion;
    parameters.strength = block.strength;
    parameters.method = block.method;
    return true;
}

size_t AesSaltSize(uint8_t strength) { return AesKeySize(strength) / 2; }

bool AesCtrCipher::Fail(const char* call, long status)
{
    error_ = CngFailure(call, status);
    return false;
}

BCRYPT_ALG_HANDLE AesProviders::Hmac()
{
    if (!hmac_) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        NTSTATUS status =
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG);
        if (status < 0) {
            error_ = CngFailure("BCryptOpenAlgorithmProvider", status);
            return nullptr;
        }
        hmac_.Reset(algorithm);
    }
    return hmac_.Get();
}

BCRYPT_ALG_HANDLE AesProviders::Aes()
{
    if (!aes_) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0);
        if (status < 0) {
            error_ = CngFailure("BCryptOpenAlgorithmProvider", status);
            return nullptr;
        }
        ScopedBcryptAlgorithm opened(algorithm);
        // Counter mode is built on single blocks: the counter blocks are
        // encrypted independently and laid over the data.
        status = BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                                   reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                                   sizeof(BCRYPT_CHAIN_MODE_ECB), 0);
        if (status < 0) {
            error_ = CngFailure("BCryptSetProperty", status);
            return nullptr;
        }
        aes_ = std::move(opened);
    }
    return aes_.Get();
}

bool AesProviders::Derive(const SecretBytes& password, uint8_t strength, const uint8_t* salt, SecretBytes& derived)
{
    derived.Clear();
    BCRYPT_ALG_HANDLE provider = Hmac();
    if (!provider) {
        return false;
    }
    std::vector<uint8_t> bytes(2 * AesKeySize(strength) + kAesVerifierSize);
    NTSTATUS status = BCryptDeriveKeyPBKDF2(provider, const_cast<PUCHAR>(password.Data()),
                                            static_cast<ULONG>(password.Size()), const_cast<PUCHAR>(salt),
                                            static_cast<ULONG>(AesSaltSize(strength)), kPbkdf2Rounds, bytes.data(),
                                            static_cast<ULONG>(bytes.size()), 0);
    if (status >= 0) {
        derived = SecretBytes(bytes.data(), bytes.size());
    }
    SecureZeroMemory(bytes.data(), bytes.size());
    if (status < 0) {
        error_ = CngFailure("BCryptDeriveKeyPBKDF2", status);
        return false;
    }
    return true;
}

AesCtrCipher::~AesCtrCipher()
{
    if (!stream_.empty()) {
        SecureZeroMemory(stream_.data(), stream_.size());
    }
}

bool AesCtrCipher::Open(const SecretBytes& password, uint8_t strength, const uint8_t* salt, const uint8_t* verifier,
                        bool& matches)
{
    SecretBytes derived;
    if (!providers_.Derive(password, strength, salt, derived)) {
        error_ = providers_.ErrorText();
        return false;
    }
    return OpenDerived(derived, strength, verifier, matches);
}

bool AesCtrCipher::OpenDerived(const SecretBytes& derived, uint8_t strength, const uint8_t* verifier, bool& matches)
{
    matches = false;
    uint8_t derivedVerifier[kAesVerifierSize];
    if (!Start(derived, strength, verifier, derivedVerifier)) {
        return false;
    }
    matches = key_ && memcmp(derivedVerifier, verifier, kAesVerifierSize) == 0;
    return true;
}

bool AesCtrCipher::Create(const SecretBytes& password, uint8_t strength, const uint8_t* salt, uint8_t* verifier)
{
    SecretBytes derived;
    if (!providers_.Derive(password, strength, salt, derived)) {
        error_ = providers_.ErrorText();
        return false;
    }
    return Start(derived, strength, nullptr, verifier);
}

bool AesCtrCipher::Start(const SecretBytes& derived, uint8_t strength, const uint8_t* expected, uint8_t* verifier)
{
    size_t keySize = AesKeySize(strength);
    NTSTATUS status = 0;
    key_.Reset();
    hash_.Reset();
    if (keySize == 0 || derived.Size() != 2 * keySize + kAesVerifierSize) {
        return Fail("BCryptDeriveKeyPBKDF2", kInvalidParameter);
    }
    BCRYPT_ALG_HANDLE hmac = providers_.Hmac();
    BCRYPT_ALG_HANDLE aes = providers_.Aes();
    if (!hmac || !aes) {
        error_ = providers_.ErrorText();
        return false;
    }
    memcpy(verifier, derived.Data() + 2 * keySize, kAesVerifierSize);
    // A reader whose password does not pass the verifier needs no keys.
    if (expected && memcmp(verifier, expected, kAesVerifierSize) != 0) {
        return true;
    }
    BCRYPT_KEY_HANDLE key = nullptr;
    status = BCryptGenerateSymmetricKey(aes, &key, nullptr, 0, const_cast<PUCHAR>(derived.Data()),
                                        static_cast<ULONG>(keySize), 0);
    if (status < 0) {
        return Fail("BCryptGenerateSymmetricKey", status);
    }
    key_.Reset(key);
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = BCryptCreateHash(hmac, &hash, nullptr, 0, const_cast<PUCHAR>(derived.Data() + keySize),
                              static_cast<ULONG>(keySize), 0);
    if (status < 0) {
        return Fail("BCryptCreateHash", status);
    }
    hash_.Reset(hash);
    memset(counter_, 0, sizeof counter_);
    streamUsed_ = 0;
    streamEnd_ = 0;
    return true;
}

bool AesCtrCipher::FillKeyStream(size_t wanted)
{
    // Only as many counter blocks as the data still needs: a small entry
    // would otherwise pay for a whole buffer of key stream.
    size_t bytes = std::min(kKeyStreamSize, (wanted + kAesBlock - 1) / kAesBlock * kAesBlock);
    if (stream_.size() < bytes) {
        SecureZeroMemory(stream_.data(), stream_.size());
        stream_.assign(bytes, 0);
    }
    NTSTATUS status = EncryptCounters(key_.Get(), counter_, stream_.data(), bytes);
    if (status < 0) {
        return Fail("BCryptEncrypt", status);
    }
    streamUsed_ = 0;
    streamEnd_ = bytes;
    return true;
}

bool AesCtrCipher::Hash(const uint8_t* bytes, size_t count)
{
    for (size_t done = 0; done < count;) {
        ULONG piece = static_cast<ULONG>(std::min<size_t>(count - done, 0x40000000));
        NTSTATUS status = BCryptHashData(hash_.Get(), const_cast<PUCHAR>(bytes + done), piece, 0);
        if (status < 0) {
            return Fail("BCryptHashData", status);
        }
        done += piece;
    }
    return true;
}

bool AesCtrCipher::Crypt(uint8_t* bytes, size_t count)
{
    // Wine's CNG encrypts ECB blocks one at a time, so a long run at a
    // block's edge is split: the second half goes to another thread with a
    // copy of the key and the counter where that half begins.
    if (streamUsed_ == streamEnd_ && count >= kSplitFrom) {
        size_t whole = count / kAesBlock * kAesBlock;
        size_t first = whole / 2 / kAesBlock * kAesBlock;
        uint8_t second[kAesBlock];
        memcpy(second, counter_, kAesBlock);
        AddBlocks(second, first / kAesBlock);
        BCRYPT_KEY_HANDLE copy = nullptr;
        NTSTATUS status = BCryptDuplicateKey(key_.Get(), &copy, nullptr, 0, 0);
        if (status < 0) {
            return Fail("BCryptDuplicateKey", status);
        }
        ScopedBcryptKey copyKey(copy);
        NTSTATUS secondStatus = 0;
        std::thread helper(
            [&] { secondStatus = ApplyKeyStream(copyKey.Get(), second, bytes + first, whole - first); });
        status = ApplyKeyStream(key_.Get(), counter_, bytes, first);
        helper.join();
        if (status < 0 || secondStatus < 0) {
            return Fail("BCryptEncrypt", status < 0 ? status : secondStatus);
        }
        memcpy(counter_, second, kAesBlock);
        bytes += whole;
        count -= whole;
    }
    for (size_t done = 0; done < count;) {
        if (streamUsed_ == streamEnd_ && !FillKeyStream(count - done)) {
            return false;
        }
        size_t piece = std::min(count - done, streamEnd_ - streamUsed_);
        LayOver(bytes + done, stream_.data() + streamUsed_, piece);
        done += piece;
        streamUsed_ += piece;
    }
    return true;
}

bool AesCtrCipher::Encrypt(uint8_t* bytes, size_t count)
{
    return Crypt(bytes, count) && Hash(bytes, count);
}

bool AesCtrCipher::Decrypt(uint8_t* bytes, size_t count)
{
    // The code covers the encrypted bytes, so it is computed before they
    // are replaced.
    return Hash(bytes, count) && Crypt(bytes, count);
}

bool AesCtrCipher::Code(uint8_t* code)
{
    uint8_t digest[kSha1Size];
    NTSTATUS status = BCryptFinishHash(hash_.Get(), digest, sizeof digest, 0);
    if (status < 0) {
        return Fail("BCryptFinishHash", status);
    }
    memcpy(code, digest, kAesMacSize);
    return true;
}

bool AesCtrCipher::CheckCode(const uint8_t* code, bool& matches)
{
    uint8_t computed[kAesMacSize];
    if (!Code(computed)) {
        return false;
    }
    matches = memcmp(computed, code, kAesMacSize) == 0;
    return true;
}

}  // namespace zip
