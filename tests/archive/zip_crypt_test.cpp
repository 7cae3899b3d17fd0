// The ZIP engine on hand-made encrypted entries: the password asked once
// per action and again only when it fails, both encodings of a Japanese
// password, a cancel, and the refusals of encryption that cannot be read.
#include <gtest/gtest.h>

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

}  // namespace
