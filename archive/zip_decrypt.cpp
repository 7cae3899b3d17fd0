// Encrypted ZIP entries on extraction: the refusals of what cannot be read,
// the password asked once per action, and the checks that decide whether a
// decrypted entry counts as extracted.
#include "archive/zip_decrypt.h"

#include <algorithm>
#include <cstring>

#include "archive/zip_records.h"
#include "archive/zipfile.h"

namespace zip {

void PasswordSession::Take(WString& typed)
{
    encodings_ = PasswordEncodings(typed);
    WipeText(typed);
    given_ = true;
    proven_ = false;
}

void PasswordSession::TakeBytes(const SecretBytes& bytes)
{
    encodings_.assign(1, bytes);
    given_ = true;
    proven_ = true;
}

void PasswordSession::Prefer(size_t index)
{
    if (index > 0 && index < encodings_.size()) {
        std::rotate(encodings_.begin(), encodings_.begin() + static_cast<std::ptrdiff_t>(index),
                    encodings_.begin() + static_cast<std::ptrdiff_t>(index) + 1);
    }
}

bool EntryDecryption::Decrypt(uint8_t* bytes, size_t count, WString& error)
{
    if (pkware_) {
        pkware_->Decrypt(bytes, count);
        return true;
    }
    if (aes_ && !aes_->Decrypt(bytes, count)) {
        error = aes_->ErrorText();
        return false;
    }
    return true;
}

}  // namespace zip

namespace {

WString Number(long long value) { return WString::FromInt(value); }

}  // namespace

bool CZipFile::IsEncryptedEntry(const WString& entryPath) const
{
    int index = FindEntry(entryPath.ReplaceAll(L'\\', L'/'));
    return index >= 0 && zip::IsEncrypted(entries_.ValueAt(index).flags, entries_.ValueAt(index).method);
}

bool CZipFile::RequestPassword(const WString& name, bool wrong, bool confirm, const WString& output,
                               WString& typed)
{
    PasswordSource* source = Passwords();
    if (!source) {
        SetErrorText(output + L"\nパスワードが必要です");
        return false;
    }
    PasswordRequest request;
    request.archivePath = ArchivePath();
    request.entryName = name;
    request.wrong = wrong;
    request.confirm = confirm;
    if (!source->Ask(request, typed)) {
        WipeText(typed);
        SetErrorText(output + (wrong ? L"\nパスワードが違います" : L"\nパスワードの入力がキャンセルされました"));
        return false;
    }
    return true;
}

bool CZipFile::AskPassword(const WString& name, bool wrong, const WString& output)
{
    WString typed;
    if (!RequestPassword(name, wrong, false, output, typed)) {
        return false;
    }
    passwords_.Take(typed);
    return true;
}

bool CZipFile::ConfirmPassword(const WString& name, const WString& output, const zip::SecretBytes& taken)
{
    WString typed;
    if (!RequestPassword(name, false, true, output, typed)) {
        return false;
    }
    std::vector<zip::SecretBytes> encodings = zip::PasswordEncodings(typed);
    WipeText(typed);
    if (std::find(encodings.begin(), encodings.end(), taken) == encodings.end()) {
        SetErrorText(output + L"\nパスワードが一致しません");
        return false;
    }
    return true;
}

bool CZipFile::OpenDecryption(HANDLE archive, const ArcEntry& entry, const WString& name,
                              const zip::LocalHeader& local, const WString& output, size_t& candidate,
                              zip::EntryDecryption& decryption)
{
    if (local.flags & zip::kFlagStrongEncryption) {
        SetErrorText(output + L"\nサポートしていない暗号化です（強力な暗号化）");
        return false;
    }
    bool aes = local.method == zip::kMethodAes;
    zip::AesParameters parameters;
    size_t headerSize = zip::kPkwareHeaderSize;
    size_t trailerSize = 0;
    if (aes) {
        const uint8_t* extra = blocks_.Block(entry.centralExtraIndex);
        size_t extraSize = static_cast<size_t>(std::max(0, blocks_.Size(entry.centralExtraIndex)));
        if (!zip::FindAesParameters(extra, extraSize, parameters)) {
            SetErrorText(output + L"\nAES 暗号化の拡張フィールド（0x9901）がありません");
            return false;
        }
        size_t saltSize = zip::AesSaltSize(parameters.strength);
        if (saltSize == 0) {
            SetErrorText(output + L"\nサポートしていない暗号化です（AES 強度 = " + Number(parameters.strength) + L"）");
            return false;
        }
        if (parameters.vendorVersion != zip::kAesVersion1 && parameters.vendorVersion != zip::kAesVersion2) {
            SetErrorText(output + L"\nサポートしていない暗号化です（AES バージョン = " +
                         Number(parameters.vendorVersion) + L"）");
            return false;
        }
        headerSize = saltSize + zip::kAesVerifierSize;
        trailerSize = zip::kAesMacSize;
    }
    if (entry.packedSize < headerSize + trailerSize) {
        SetErrorText(output + L"\n暗号化データが短すぎます");
        return false;
    }
    uint8_t header[16 + zip::kAesVerifierSize];
    DWORD got = 0;
    if (!ReadBlock(archive, header, static_cast<DWORD>(headerSize), "ExtractFile", &got)) {
        return false;
    }
    if (got != headerSize) {
        SetErrorText(output + L"\nデータがアーカイブの終わりを越えています");
        return false;
    }
    // A descriptor's CRC is not known when the header is written, so the
    // check byte is then the high byte of the time.
    uint8_t check = (local.flags & zip::kFlagDataDescriptor) ? static_cast<uint8_t>(local.dosTime >> 8)
                                                              : static_cast<uint8_t>(entry.crc32 >> 24);
    for (bool wrong = false;; wrong = true) {
        if ((wrong || !passwords_.HasPassword()) && !AskPassword(name, wrong, output)) {
            return false;
        }
        const std::vector<zip::SecretBytes>& encodings = passwords_.Encodings();
        size_t first = wrong ? 0 : candidate;
        for (size_t i = first; i < encodings.size(); ++i) {
            bool matches = false;
            if (aes) {
                std::unique_ptr<zip::AesCtrCipher> cipher(new zip::AesCtrCipher(&aesProviders_));
                const uint8_t* verifier = header + headerSize - zip::kAesVerifierSize;
                zip::SecretBytes derived;
                bool opened = keysAhead_ && keysAhead_->Take(entry.headerOffset, encodings[i], parameters.strength,
                                                             header, derived)
                                  ? cipher->OpenDerived(derived, parameters.strength, verifier, matches)
                                  : cipher->Open(encodings[i], parameters.strength, header, verifier, matches);
                if (!opened) {
                    SetErrorText(output + L"\n" + cipher->ErrorText());
                    return false;
                }
                if (matches) {
                    decryption.aes_ = std::move(cipher);
                    // The entries after this one are likely to open with
                    // the same bytes: their keys are derived meanwhile.
                    if (keysAhead_) {
                        keysAhead_->Start(encodings[i], entry.headerOffset);
                    }
                }
            } else {
                uint8_t copy[zip::kPkwareHeaderSize];
                memcpy(copy, header, sizeof copy);
                std::unique_ptr<zip::PkwareCipher> cipher(new zip::PkwareCipher(encodings[i]));
                matches = cipher->OpenHeader(copy, check);
                if (matches) {
                    decryption.pkware_ = std::move(cipher);
                }
            }
            if (matches) {
                candidate = i;
                decryption.method_ = aes ? parameters.method : local.method;
                decryption.dataSize_ = static_cast<uint32_t>(entry.packedSize - headerSize - trailerSize);
                decryption.checksCrc_ = !aes || parameters.vendorVersion == zip::kAesVersion1;
                return true;
            }
        }
    }
}

bool CZipFile::CloseDecryption(HANDLE archive, zip::EntryDecryption& decryption, const WString& output,
                               bool* codeFault)
{
    if (!decryption.IsAes()) {
        return true;
    }
    uint8_t code[zip::kAesMacSize];
    DWORD got = 0;
    if (!ReadBlock(archive, code, sizeof code, "ExtractFile", &got)) {
        return false;
    }
    bool matches = false;
    if (got != sizeof code) {
        SetErrorText(output + L"\nデータがアーカイブの終わりを越えています");
        return false;
    }
    if (!decryption.aes_->CheckCode(code, matches)) {
        SetErrorText(output + L"\n" + decryption.aes_->ErrorText());
        return false;
    }
    if (!matches) {
        SetErrorText(output + L"\n認証コード（HMAC-SHA1）エラー");
        if (codeFault) {
            *codeFault = true;
        }
        return false;
    }
    return true;
}

bool CZipFile::DecryptRead(zip::EntryDecryption& decryption, uint8_t* bytes, uint32_t count, const WString& output)
{
    WString error;
    if (decryption.IsActive() && !decryption.Decrypt(bytes, count, error)) {
        SetErrorText(output + L"\n" + error);
        return false;
    }
    return true;
}

bool CZipFile::UnlockFolder(HANDLE archive, const WString& prefix)
{
    for (int i = 0; i < entries_.Count(); ++i) {
        const WString& name = entries_.Name(i);
        const ArcEntry& entry = entries_.ValueAt(i);
        if (name.IsEmpty() || name.Last() == L'/' || !name.StartsWith(prefix.c_str()) ||
            !zip::IsEncrypted(entry.flags, entry.method)) {
            continue;
        }
        zip::LocalHeader local;
        DWORD got = 0;
        if (!SeekTo(archive, entry.headerOffset, "ExtractFile") ||
            !ReadBlock(archive, &local, sizeof local, "LocalHeader", &got)) {
            return false;
        }
        // A damaged header is left for the extraction to report.
        if (got < sizeof local || local.signature != zip::kLocalHeaderSignature ||
            !zip::IsEncrypted(local.flags, local.method)) {
            return true;
        }
        uint64_t dataOffset = entry.headerOffset + sizeof local + local.nameLength + local.extraLength;
        zip::EntryDecryption decryption;
        WString shown = name.ReplaceAll(L'/', L'\\');
        size_t candidate = 0;
        return SeekTo(archive, dataOffset, "ExtractFile") &&
               OpenDecryption(archive, entry, name, local, shown, candidate, decryption);
    }
    return true;
}
