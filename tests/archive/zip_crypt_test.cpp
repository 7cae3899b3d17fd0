// The ZIP engine on hand-made encrypted entries: the password asked once
// per action and again only when it fails, both encodings of a Japanese
// password, a cancel, and the refusals of encryption that cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/zipfile.h"
#include "common/paths.h"
#include "support/scripted_passwords.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

std::string Contents(const WString& path)
{
    Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

WString Wide(const char* text) { return WString::FromAnsi(text); }

class ZipCryptTest : public testing::Test {
protected:
    WString Archive(const Bytes& bytes)
    {
        WString path = folder_ / L"t.zip";
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    ScratchFolder folder_;
};

TEST_F(ZipCryptTest, PasswordIsAskedOnceForTheActionAndAgainOnlyWhenItFails)
{
    // "秘密" as UTF-8 and as code page 932: tools store either.
    const std::string utf8 = "\xE7\xA7\x98\xE5\xAF\x86";
    const std::string cp932 = "\x94\xE9\x96\xA7";
    WString path = Archive(BuildZip({EncryptedZipEntry("a.txt", "alpha", "pw"),
                                     EncryptedZipEntry("b/c.txt", "gamma", "pw"),
                                     EncryptedZipEntry("d.txt", "delta", "other"),
                                     EncryptedZipEntry("e.txt", "epsilon", utf8),
                                     EncryptedZipEntry("f.txt", "phi", cp932)}));
    ScriptedPasswords source({L"bad", L"pw", L"other", L"\u79D8\u5BC6"});
    CZipFile archive(path, ZlibBesideProgram());
    archive.SetPasswordSource(&source);
    WString out = folder_ / L"out";
    ASSERT_TRUE(archive.Extract(out, WString(), false)) << archive.ErrorText().ToUtf8().c_str();
    EXPECT_EQ(Contents(JoinPath(out, Wide("a.txt"))), "alpha");
    EXPECT_EQ(Contents(JoinPath(out, Wide("b\\c.txt"))), "gamma");
    EXPECT_EQ(Contents(JoinPath(out, Wide("d.txt"))), "delta");
    EXPECT_EQ(Contents(JoinPath(out, Wide("e.txt"))), "epsilon");
    EXPECT_EQ(Contents(JoinPath(out, Wide("f.txt"))), "phi");
    // b/c.txt takes the password that opened a.txt, f.txt the other
    // encoding of the one that opened e.txt.
    ASSERT_EQ(source.requests.size(), 4u);
    const wchar_t* names[] = {L"a.txt", L"a.txt", L"d.txt", L"e.txt"};
    for (size_t i = 0; i < source.requests.size(); ++i) {
        EXPECT_EQ(source.requests[i].entryName, names[i]) << i;
        EXPECT_EQ(source.requests[i].wrong, i > 0) << i;
        EXPECT_EQ(source.requests[i].archivePath, path) << i;
    }
}

TEST_F(ZipCryptTest, PasswordThatOnlyPassesTheHeaderCheckIsNotTaken)
{
    // The traditional header checks one byte: a wrong password or the other
    // encoding of the right one passes it once in 256 tries, and only the
    // data can tell.
    const std::string utf8 = "\xE7\xA7\x98\xE5\xAF\x86";
    const std::string cp932 = "\x94\xE9\x96\xA7";
    struct Case {
        const char* what;
        std::string password;
        std::string decoy;
        std::vector<std::wstring> answers;
        bool wholeArchive;
    };
    const std::vector<Case> cases = {
        {"code page 932 passes an entry of UTF-8", utf8, cp932, {L"\u79D8\u5BC6"}, true},
        {"a wrong password passes", "pw", "bad", {L"bad", L"pw"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        WString path = scratch / L"t.zip";
        ASSERT_TRUE(WriteFileBytes(path, BuildZip({EncryptedZipEntry("x.txt", "content", c.password, 0x0001, c.decoy)})));
        ScriptedPasswords source(c.answers);
        CZipFile archive(path, ZlibBesideProgram());
        archive.SetPasswordSource(&source);
        WString out = scratch / L"out";
        ASSERT_TRUE(archive.Extract(out, c.wholeArchive ? WString() : Wide("x.txt"), false))
            << archive.ErrorText().ToUtf8().c_str();
        EXPECT_EQ(Contents(JoinPath(out, Wide("x.txt"))), "content");
        ASSERT_EQ(source.requests.size(), c.answers.size());
        EXPECT_EQ(source.requests.back().wrong, c.answers.size() > 1);
    }
}

// AES's two-byte verifier lets one wrong password in 65,536 through. For
// this salt, found beforehand, "bad" passes the verifier of "pw"; only the
// authentication code can tell, on the first entry a password opens.
TEST_F(ZipCryptTest, AesPasswordThatOnlyPassesTheVerifierIsAskedAgain)
{
    const uint8_t salt[8] = {0x28, 0xF2, 0x01, 0, 0, 0, 0, 0};
    const std::string plain = "the quarterly figures";
    uint8_t verifier[2] = {};
    uint8_t decoyVerifier[2] = {};
    std::string sealed(plain);
    uint8_t code[10] = {};
    {
        zip::AesCtrCipher cipher;
        ASSERT_TRUE(cipher.Create(zip::SecretBytes("pw", 2), 1, salt, verifier));
        ASSERT_TRUE(cipher.Encrypt(reinterpret_cast<uint8_t*>(&sealed[0]), sealed.size()));
        ASSERT_TRUE(cipher.Code(code));
        zip::AesCtrCipher decoy;
        ASSERT_TRUE(decoy.Create(zip::SecretBytes("bad", 3), 1, salt, decoyVerifier));
    }
    ASSERT_EQ(memcmp(verifier, decoyVerifier, 2), 0) << "the decoy passes the verifier";
    ZipTestEntry entry{"aes.txt", std::string(reinterpret_cast<const char*>(salt), 8) +
                                      std::string(reinterpret_cast<const char*>(verifier), 2) + sealed +
                                      std::string(reinterpret_cast<const char*>(code), 10)};
    entry.method = 99;
    entry.flags = 0x0001;
    entry.uncompressedSize = static_cast<int64_t>(plain.size());
    // AE-2, AES-128, stored inside.
    entry.centralExtra = ZipExtraBlock(0x9901, {2, 0, 'A', 'E', 1, 0, 0});
    entry.localExtra = entry.centralExtra;
    WString path = Archive(BuildZip({entry}));
    ScriptedPasswords source({L"bad", L"pw"});
    CZipFile archive(path, ZlibBesideProgram());
    archive.SetPasswordSource(&source);
    WString out = folder_ / L"out";
    ASSERT_TRUE(archive.Extract(out, WString(), false)) << archive.ErrorText().ToUtf8().c_str();
    EXPECT_EQ(Contents(JoinPath(out, Wide("aes.txt"))), plain);
    ASSERT_EQ(source.requests.size(), 2u);
    EXPECT_TRUE(source.requests[1].wrong);
}

// New files take the password the archive's files were opened with. An
// empty file of the traditional cipher checks one byte, which one wrong
// password in 256 passes ("bad" here); what was added with it would not
// open with the right one.
TEST_F(ZipCryptTest, PasswordForNewFilesIsProvenOnDataOrTypedTwice)
{
    const ZipTestEntry empty = EncryptedZipEntry("empty.txt", "", "pw", 0x0001, "bad");
    struct Case {
        const char* what;
        std::vector<ZipTestEntry> entries;
        std::vector<std::wstring> answers;
        const char* taken;  // null: none
        const wchar_t* error;
    };
    const std::vector<Case> cases = {
        {"proven on the file that holds data", {empty, EncryptedZipEntry("x.txt", "content", "pw")}, {L"bad", L"pw"},
         "pw", nullptr},
        {"typed twice alike", {empty}, {L"pw", L"pw"}, "pw", nullptr},
        {"typed twice differently", {empty}, {L"bad", L"pw"}, nullptr, L"empty.txt\nパスワードが一致しません"},
        {"the second cancelled", {empty}, {L"bad"}, nullptr, L"empty.txt\nパスワードの入力がキャンセルされました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        WString path = scratch / L"t.zip";
        ASSERT_TRUE(WriteFileBytes(path, BuildZip(c.entries)));
        ScriptedPasswords source(c.answers);
        CZipFile archive(path, ZlibBesideProgram());
        archive.SetPasswordSource(&source);
        EntryProtection protection;
        EXPECT_EQ(archive.SharedProtection(protection), c.taken != nullptr);
        ASSERT_EQ(source.requests.size(), 2u);
        if (c.entries.size() > 1) {
            EXPECT_EQ(source.requests[0].entryName, L"x.txt");
            EXPECT_TRUE(source.requests[1].wrong);
        } else {
            EXPECT_TRUE(source.requests[1].confirm);
        }
        if (c.taken) {
            EXPECT_EQ(std::string(protection.password.Data(), protection.password.Data() + protection.password.Size()),
                      c.taken);
        } else {
            EXPECT_FALSE(protection.IsActive());
            EXPECT_EQ(archive.ErrorText(), c.error);
            archive.ClearErrorText();
        }
    }
}

// Whether the traditional header checks the time's byte or the CRC's is
// told by the local header's descriptor flag. Tools write directories
// whose flag disagrees; a commit that wrote the directory's flag into the
// local header would change which byte is checked, and every tool would
// then refuse the right password.
TEST_F(ZipCryptTest, CommitKeepsTheDescriptorFlagTheCheckByteWasWrittenFor)
{
    const std::string plain = "protected text";
    const uint32_t crc = ZipCrc(plain);
    const uint16_t time = 0x6000;
    ASSERT_NE(crc >> 24, static_cast<uint32_t>(time >> 8));
    for (bool localDescriptor : {true, false}) {
        SCOPED_TRACE(localDescriptor ? "the local header has the flag" : "only the directory has the flag");
        ScratchFolder scratch;
        ZipHeader header;
        header.flags = localDescriptor ? 0x0009 : 0x0001;
        header.dosTime = time;
        header.crc = crc;
        header.name = "doc.txt";
        std::string data = ZipCryptoEncrypt("pw", plain, static_cast<uint8_t>(localDescriptor ? time >> 8 : crc >> 24));
        header.packedSize = static_cast<uint32_t>(data.size());
        header.size = static_cast<uint32_t>(plain.size());
        Bytes bytes = ZipLocalHeader(header);
        bytes.insert(bytes.end(), data.begin(), data.end());
        if (localDescriptor) {
            Bytes descriptor = ZipDataDescriptor(crc, data.size(), plain.size());
            bytes.insert(bytes.end(), descriptor.begin(), descriptor.end());
        }
        uint32_t directory = static_cast<uint32_t>(bytes.size());
        header.flags = localDescriptor ? 0x0001 : 0x0009;
        Bytes central = ZipCentralHeader(header);
        bytes.insert(bytes.end(), central.begin(), central.end());
        Bytes end = ZipEndRecord(1, static_cast<uint32_t>(central.size()), directory);
        bytes.insert(bytes.end(), end.begin(), end.end());
        WString path = scratch / L"t.zip";
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        WString added = scratch / L"added.txt";
        ASSERT_TRUE(WriteFileText(added, "added"));
        {
            CZipFile archive(path, ZlibBesideProgram());
            ASSERT_TRUE(archive.Add(added, WString(), -1));
            ASSERT_TRUE(archive.Commit()) << archive.ErrorText().ToUtf8().c_str();
        }
        Bytes stored = ReadFileBytes(path);
        std::vector<ZipCentralRecord> records = ReadZipDirectory(stored);
        ASSERT_EQ(records.size(), 2u);
        ASSERT_EQ(records[1].name, "doc.txt");
        EXPECT_EQ((records[1].flags & 0x0008) != 0, localDescriptor) << "the directory agrees with the local header";
        ScriptedPasswords source({L"pw"});
        CZipFile archive(path, ZlibBesideProgram());
        archive.SetPasswordSource(&source);
        WString out = scratch / L"out";
        ASSERT_TRUE(archive.Extract(out, Wide("doc.txt"), false)) << archive.ErrorText().ToUtf8().c_str();
        EXPECT_EQ(Contents(JoinPath(out, Wide("doc.txt"))), plain);
        EXPECT_EQ(source.requests.size(), 1u);
    }
}

TEST_F(ZipCryptTest, CancelWrongPasswordOrNobodyToAskLeavesNothingWritten)
{
    WString path = Archive(BuildZip({{"plain.txt", "open"}, EncryptedZipEntry("secret.txt", "hidden", "pw")}));
    struct Case {
        const char* what;
        std::vector<std::wstring> answers;
        bool withSource;
        const wchar_t* reason;
    };
    const std::vector<Case> cases = {
        {"cancel", {}, true, L"\nパスワードの入力がキャンセルされました"},
        {"wrong, then cancel", {L"bad"}, true, L"\nパスワードが違います"},
        {"no source", {}, false, L"\nパスワードが必要です"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        ScriptedPasswords source(c.answers);
        CZipFile archive(path, ZlibBesideProgram());
        if (c.withSource) {
            archive.SetPasswordSource(&source);
        }
        WString out = scratch / L"out";
        EXPECT_FALSE(archive.Extract(out, WString(), false));
        EXPECT_EQ(archive.ErrorText(), WString(L"secret.txt") + c.reason);
        EXPECT_FALSE(PathExists(JoinPath(out, Wide("plain.txt")))) << "nothing is written before the password";
        EXPECT_FALSE(archive.Extract(out, Wide("secret.txt"), false));
        EXPECT_EQ(archive.ErrorText(), JoinPath(out, Wide("secret.txt")) + c.reason);
        EXPECT_FALSE(PathExists(JoinPath(out, Wide("secret.txt"))));
        archive.ClearErrorText();
    }
}

TEST_F(ZipCryptTest, StrongEncryptionAndUnknownAesStrengthAreRefusedByNameBeforeAnyPassword)
{
    ZipTestEntry strong = EncryptedZipEntry("strong.txt", "data", "pw", 0x0041);
    ZipTestEntry aes{"aes.txt", std::string(40, '\x55')};
    aes.method = 99;
    aes.flags = 0x0001;
    aes.centralExtra = ZipExtraBlock(0x9901, {2, 0, 'A', 'E', 4, 8, 0});
    aes.localExtra = aes.centralExtra;
    ScriptedPasswords source({L"pw"});
    CZipFile archive(Archive(BuildZip({strong, aes})), ZlibBesideProgram());
    archive.SetPasswordSource(&source);
    WString out = folder_ / L"out";
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"strong.txt", L"\nサポートしていない暗号化です（強力な暗号化）"},
        {"aes.txt", L"\nサポートしていない暗号化です（AES 強度 = 4）"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(archive.Extract(out, Wide(c.first), false));
        EXPECT_EQ(archive.ErrorText(), JoinPath(out, Wide(c.first)) + c.second);
        EXPECT_FALSE(PathExists(JoinPath(out, Wide(c.first))));
    }
    EXPECT_TRUE(source.requests.empty());
    archive.ClearErrorText();
}

TEST_F(ZipCryptTest, EntryInfoNamesTheEncryptionAndTheMethodInsideAes)
{
    auto aesEntry = [](const char* name, uint8_t strength, uint8_t method) {
        ZipTestEntry entry{name, std::string(40, '\x55')};
        entry.method = 99;
        entry.flags = 0x0001;
        entry.centralExtra = ZipExtraBlock(0x9901, {2, 0, 'A', 'E', strength, method, 0});
        entry.localExtra = entry.centralExtra;
        return entry;
    };
    CZipFile archive(Archive(BuildZip({EncryptedZipEntry("old.txt", "data", "pw"), aesEntry("a256.txt", 3, 8),
                                       aesEntry("a192.txt", 2, 0), aesEntry("odd.txt", 7, 8)})),
                     ZlibBesideProgram());
    const std::pair<const char*, std::vector<std::wstring>> cases[] = {
        {"old.txt", {L"暗号化：ZIP 従来型", L"非圧縮"}},
        {"a256.txt", {L"暗号化：AES-256"}},
        {"a192.txt", {L"暗号化：AES-192", L"非圧縮"}},
        {"odd.txt", {L"暗号化：AES"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        DWORD size = 0, packed = 0, attributes = 0;
        FILETIME time{};
        StringList lines;
        ASSERT_TRUE(archive.GetEntryInfo(Wide(c.first), size, packed, time, attributes, lines));
        ASSERT_EQ(static_cast<size_t>(lines.Count()), c.second.size());
        for (size_t i = 0; i < c.second.size(); ++i) {
            EXPECT_EQ(lines[static_cast<int>(i)], WString(c.second[i].c_str()));
        }
    }
}

TEST_F(ZipCryptTest, AddedFilesAreEncryptedAsTheEntryTheyJoinAndReadBackWithItsPassword)
{
    // The traditional protection comes from an entry opened with the UTF-8
    // bytes of a Japanese password, which the new entry must keep; the AES
    // ones are given as an AES entry would give them.
    const std::string utf8 = "\xE7\xA7\x98\xE5\xAF\x86";
    auto aes = [](uint8_t strength, uint16_t version) {
        EntryProtection protection;
        protection.cipher = EntryProtection::Cipher::kAes;
        protection.aesStrength = strength;
        protection.aesVersion = version;
        protection.password = zip::SecretBytes("pw", 2);
        return protection;
    };
    struct Case {
        const char* what;
        EntryProtection protection;
        const wchar_t* typed;
        const wchar_t* shown;
        bool crcStored;
    };
    const std::vector<Case> cases = {
        {"traditional", EntryProtection(), L"\u79D8\u5BC6", L"暗号化：ZIP 従来型", true},
        {"AES-256, second version", aes(3, 2), L"pw", L"暗号化：AES-256", false},
        {"AES-128, first version", aes(1, 1), L"pw", L"暗号化：AES-128", true},
    };
    // Bytes that do not deflate, more than a megabyte of them: a long run
    // of key stream is made in two halves.
    std::string content(1200000, '\0');
    uint32_t seed = 1;
    for (char& c : content) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    content += "the end of a protected document";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        WString path = scratch / L"t.zip";
        ASSERT_TRUE(WriteFileBytes(path, BuildZip({EncryptedZipEntry("old.txt", "old", utf8)})));
        WString source = scratch / L"new.txt";
        ASSERT_TRUE(WriteFileBytes(source, Bytes(content.begin(), content.end())));
        {
            ScriptedPasswords typed({L"\u79D8\u5BC6"});
            CZipFile archive(path, ZlibBesideProgram());
            archive.SetPasswordSource(&typed);
            EntryProtection protection = c.protection;
            if (!protection.IsActive()) {
                ASSERT_TRUE(archive.UnlockEntry(Wide("old.txt"), protection)) << archive.ErrorText().ToUtf8().c_str();
                ASSERT_EQ(std::string(protection.password.Data(), protection.password.Data() + protection.password.Size()),
                          utf8);
            }
            ASSERT_TRUE(archive.UseProtection(protection));
            ASSERT_TRUE(archive.Add(source, WString(), -1));
            ASSERT_TRUE(archive.Commit()) << archive.ErrorText().ToUtf8().c_str();
        }
        Bytes stored = ReadFileBytes(path);
        EXPECT_EQ(std::search(stored.begin(), stored.end(), content.end() - 20, content.end()), stored.end())
            << "nothing of the file in the clear";
        ScriptedPasswords again({c.typed});
        CZipFile archive(path, ZlibBesideProgram());
        archive.SetPasswordSource(&again);
        EXPECT_TRUE(archive.IsEncryptedEntry(Wide("new.txt")));
        WString out = scratch / L"out";
        ASSERT_TRUE(archive.Extract(out, Wide("new.txt"), false)) << archive.ErrorText().ToUtf8().c_str();
        EXPECT_EQ(Contents(JoinPath(out, Wide("new.txt"))), content);
        DWORD size = 0, packed = 0, attributes = 0;
        FILETIME time{};
        StringList lines;
        ASSERT_TRUE(archive.GetEntryInfo(Wide("new.txt"), size, packed, time, attributes, lines));
        bool shown = false;
        for (int i = 0; i < lines.Count(); ++i) {
            shown = shown || lines[i] == WString(c.shown);
        }
        EXPECT_TRUE(shown);
        uint64_t storedSize = 0;
        uint32_t crc = 0;
        EXPECT_EQ(archive.StoredChecksum(Wide("new.txt"), storedSize, crc), c.crcStored);
    }
}

}  // namespace
