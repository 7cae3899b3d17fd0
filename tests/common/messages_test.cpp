#include <gtest/gtest.h>

#include "common/messages.h"
#include "support/prompt_recorder.h"

namespace {

TEST(Prompts, BoxesCarryTheirIconAndButtons)
{
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    prompts.Answer(IDNO);
    EXPECT_EQ(IDOK, ShowError(L"失敗しました"));
    EXPECT_EQ(IDOK, ShowInfo(L"完了"));
    EXPECT_EQ(IDNO, AskUser(L"格納しますか？", nullptr, MB_YESNOCANCEL));
    ASSERT_EQ(3u, prompts.Count());
    EXPECT_EQ(L"失敗しました", prompts.Prompts()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[0].icon);
    EXPECT_EQ(static_cast<UINT>(MB_OK), prompts.Prompts()[0].buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), prompts.Prompts()[1].icon);
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), prompts.Prompts()[2].icon);
    EXPECT_EQ(static_cast<UINT>(MB_YESNOCANCEL), prompts.Prompts()[2].buttons);
}

TEST(Prompts, RecordersNestAndGiveBackThePreviousHandler)
{
    PromptRecorder outer;
    {
        PromptRecorder inner;
        inner.Answer(IDOK);
        ShowInfo(L"inner");
        EXPECT_EQ(1u, inner.Count());
    }
    outer.Answer(IDOK);
    ShowInfo(L"outer");
    ASSERT_EQ(1u, outer.Count());
    EXPECT_EQ(L"outer", outer.LastText());
}

TEST(Reporters, ShowNothingWhenTheCallSucceeded)
{
    PromptRecorder prompts;
    EXPECT_TRUE(ReportApiFailure(TRUE, "CloseHandle"));
    EXPECT_TRUE(ReportApiFailure(static_cast<BOOL>(42), "GetCursorPos"));
    EXPECT_TRUE(ReportHResultFailure(S_OK, "OleInitialize"));
    EXPECT_TRUE(ReportHResultFailure(S_FALSE, "OleInitialize"));
    EXPECT_EQ(0u, prompts.Count());
}

TEST(Reporters, NameTheCallAndTheErrorCode)
{
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    prompts.Answer(IDOK);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ReportApiFailure(FALSE, "GetFileSizeEx"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << "the caller may still read the error";
    EXPECT_FALSE(ReportHResultFailure(E_FAIL, "SHGetMalloc"));
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_EQ(L"GetFileSizeEx Error Code =5", prompts.Prompts()[0].text);
    EXPECT_EQ(L"SHGetMalloc Error Code =0x80004005", prompts.Prompts()[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Prompts()[1].icon);
}

}  // namespace
