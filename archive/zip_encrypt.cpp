// Encrypted ZIP entries on writing: what replaces an encrypted entry, or
// joins an archive whose files are all encrypted, is encrypted the same
// way with the same password, so that a change never leaves a protected
// document in the clear.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/zip_compress.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"

namespace {

// The version needed to extract an AES entry, as its writers set it.
const uint16_t kVersionAes = 51;

bool RandomBytes(uint8_t* bytes, size_t count)
{
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

}  // namespace

bool CZipFile::AesParametersOf(const ArcEntry& entry, zip::AesParameters& parameters) const
{
    return zip::FindAesParameters(blocks_.Block(entry.centralExtraIndex),
                                  static_cast<size_t>(std::max(0, blocks_.Size(entry.centralExtraIndex))), parameters);
}

void CZipFile::RememberPassword(const WString& name, const zip::SecretBytes& bytes, bool proves)
{
    // An archive has few passwords, mostly one: the one that opened the
    // entry before is looked at first.
    size_t index = lastOpened_;
    if (index >= openedPasswords_.size() || openedPasswords_[index].bytes != bytes) {
        index = 0;
        while (index < openedPasswords_.size() && openedPasswords_[index].bytes != bytes) {
            ++index;
        }
        if (index == openedPasswords_.size()) {
            openedPasswords_.push_back(OpenedPassword{bytes, false});
        }
    }
    lastOpened_ = index;
    openedPasswords_[index].proven = openedPasswords_[index].proven || proves;
    openedWith_[std::wstring(name.c_str(), static_cast<size_t>(name.Length()))] = index;
}

const OpenedPassword* CZipFile::OpenedWith(const WString& name) const
{
    auto found = openedWith_.find(std::wstring(name.c_str(), static_cast<size_t>(name.Length())));
    return found == openedWith_.end() ? nullptr : &openedPasswords_[found->second];
}

EntryProtection CZipFile::ProtectionOf(const WString& entryPath) const
{
    EntryProtection protection;
    WString name = entryPath.ReplaceAll(L'\\', L'/');
    int index = FindEntry(name);
    if (index < 0 || !zip::IsEncrypted(entries_.ValueAt(index).flags, entries_.ValueAt(index).method)) {
        return protection;
    }
    // Bytes that only passed a header's check may be a wrong password
    // (one in 256 does): what they would encrypt could then not be opened
    // with the right one. UnlockEntry proves them first.
    const OpenedPassword* opened = OpenedWith(name);
    if (!opened || !opened->proven) {
        return protection;
    }
    const ArcEntry& entry = entries_.ValueAt(index);
    if (entry.method == zip::kMethodAes) {
        zip::AesParameters parameters;
        if (!AesParametersOf(entry, parameters)) {
            return protection;
        }
        protection.cipher = EntryProtection::Cipher::kAes;
        protection.aesStrength = parameters.strength;
        protection.aesVersion = parameters.vendorVersion;
    } else {
        protection.cipher = EntryProtection::Cipher::kTraditional;
    }
    protection.password = opened->bytes;
    return protection;
}

bool CZipFile::UseProtection(const EntryProtection& protection)
{
    protection_ = protection;
    if (protection.IsActive()) {
        passwords_.TakeBytes(protection.password);
    }
    return true;
}

bool CZipFile::SharedProtection(EntryProtection& protection)
{
    protection = EntryProtection();
    // The password is proven on the smallest file that holds data: its CRC
    // or its code can only come out right with it. An AES entry's code
    // proves it even over no data; an empty file of the traditional cipher
    // has only its header's one-byte check, so a password proven on none
    // but such files is asked twice (UnlockEntry).
    int proof = -1;
    auto better = [this](int candidate, int than) {
        if (than < 0) {
            return true;
        }
        const ArcEntry& a = entries_.ValueAt(candidate);
        const ArcEntry& b = entries_.ValueAt(than);
        bool aProves = a.size > 0 || a.method == zip::kMethodAes;
        bool bProves = b.size > 0 || b.method == zip::kMethodAes;
        if (aProves != bProves) {
            return aProves;
        }
        bool aHolds = a.size > 0;
        bool bHolds = b.size > 0;
        return aHolds != bHolds ? aHolds : a.packedSize < b.packedSize;
    };
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        const ArcEntry& entry = entries_.ValueAt(i);
        if (name.IsEmpty() || name.Last() == L'/' || entry.deleted) {
            continue;
        }
        // Tools leave an empty file in the clear: it holds nothing to hide.
        if (!zip::IsEncrypted(entry.flags, entry.method)) {
            if (entry.size == 0) {
                continue;
            }
            return true;
        }
        if (better(i, proof)) {
            proof = i;
        }
    }
    return proof < 0 || UnlockEntry(entries_.Name(proof).ReplaceAll(L'/', L'\\'), protection);
}

bool CZipFile::UnlockEntry(const WString& entryPath, EntryProtection& protection)
{
    protection = EntryProtection();
    WString name = entryPath.ReplaceAll(L'\\', L'/');
    int index = FindEntry(name);
    if (index < 0 || !zip::IsEncrypted(entries_.ValueAt(index).flags, entries_.ValueAt(index).method)) {
        return true;
    }
    // An entry read before in this object is not read again.
    if (!OpenedWith(name)) {
        ScopedFile file(OpenArchive());
        if (!file) {
            return false;
        }
        zip::LocalHeader local;
        zip::PlainBuffer data;
        if (!ReadEntry(file.Get(), entries_.ValueAt(index), name, entryPath, local, data)) {
            return false;
        }
    }
    const OpenedPassword* opened = OpenedWith(name);
    if (opened && !opened->proven) {
        // Nothing in the entry can tell a mistyped password from the right
        // one: it counts when it is typed the same way twice.
        if (!ConfirmPassword(name, entryPath, opened->bytes)) {
            return false;
        }
        RememberPassword(name, opened->bytes, true);
    }
    protection = ProtectionOf(entryPath);
    return true;
}

bool CZipFile::EncryptNewData(const WString& name, CompressedFile& file, ArcEntry& entry)
{
    if (!protection_.IsActive() || (!name.IsEmpty() && name.Last() == L'/')) {
        return true;
    }
    bool aes = protection_.cipher == EntryProtection::Cipher::kAes;
    size_t headerSize = aes ? zip::AesSaltSize(protection_.aesStrength) + zip::kAesVerifierSize : zip::kPkwareHeaderSize;
    size_t trailerSize = aes ? zip::kAesMacSize : 0;
    uint64_t total = static_cast<uint64_t>(headerSize) + file.rawLength + trailerSize;
    if ((aes && headerSize == zip::kAesVerifierSize) || total > 0xFFFFFFFFULL) {
        SetErrorText(name.ReplaceAll(L'/', L'\\') + L"\n暗号化できません");
        return false;
    }
    std::unique_ptr<uint8_t[]> sealed(new (std::nothrow) uint8_t[static_cast<size_t>(total)]);
    if (!sealed) {
        SetErrorText(L"ファイルが大きすぎます");
        return false;
    }
    uint8_t* header = sealed.get();
    uint8_t* data = header + headerSize;
    if (!RandomBytes(header, headerSize)) {
        SetErrorText(WString(L"BCryptGenRandom エラー"));
        return false;
    }
    if (file.rawLength > 0) {
        memcpy(data, file.raw.get(), file.rawLength);
    }
    if (aes) {
        zip::AesCtrCipher cipher(&aesProviders_);
        size_t saltSize = headerSize - zip::kAesVerifierSize;
        if (!cipher.Create(protection_.password, protection_.aesStrength, header, header + saltSize) ||
            !cipher.Encrypt(data, file.rawLength) || !cipher.Code(data + file.rawLength)) {
            SetErrorText(name.ReplaceAll(L'/', L'\\') + L"\n" + cipher.ErrorText());
            return false;
        }
        zip::AesExtraData block{protection_.aesVersion, {'A', 'E'}, protection_.aesStrength, entry.method};
        uint8_t extra[4 + sizeof block];
        uint16_t head[2] = {zip::kExtraAes, static_cast<uint16_t>(sizeof block)};
        memcpy(extra, head, sizeof head);
        memcpy(extra + sizeof head, &block, sizeof block);
        entry.centralExtraIndex = blocks_.Append(extra, static_cast<int>(sizeof extra));
        entry.localExtraIndex = blocks_.Append(extra, static_cast<int>(sizeof extra));
        entry.method = zip::kMethodAes;
        entry.versionNeeded = std::max(entry.versionNeeded, kVersionAes);
        // The second version leaves the CRC out: it would tell something of
        // the content of a short file, and the code protects the data.
        if (protection_.aesVersion == zip::kAesVersion2) {
            entry.crc32 = 0;
        }
    } else {
        // The CRC is known before the data is written, so the header's
        // check byte is its high byte and no descriptor is needed.
        header[zip::kPkwareHeaderSize - 1] = static_cast<uint8_t>(entry.crc32 >> 24);
        zip::PkwareCipher cipher(protection_.password);
        cipher.Encrypt(sealed.get(), static_cast<size_t>(total));
    }
    entry.flags |= zip::kFlagEncrypted;
    if (file.rawLength > 0) {
        SecureZeroMemory(file.raw.get(), file.rawLength);
    }
    file.raw = std::move(sealed);
    file.rawLength = static_cast<uint32_t>(total);
    entry.packedSize32 = file.rawLength;
    entry.packedSize = file.rawLength;
    return true;
}
