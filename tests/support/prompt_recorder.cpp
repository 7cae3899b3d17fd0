#include "support/prompt_recorder.h"

#include <gtest/gtest.h>

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], bytes, nullptr, nullptr);
    return result;
}

std::string OneLineUtf8(const std::wstring& text)
{
    std::wstring flat;
    for (wchar_t unit : text) {
        if (unit == L'\n') {
            flat += L"\\n";
        } else if (unit != L'\r') {
            flat += unit;
        }
    }
    return Utf8(flat);
}

PromptRecorder::PromptRecorder() : previous_(SetPromptHandler(this)) {}

PromptRecorder::~PromptRecorder() { SetPromptHandler(previous_); }

int PromptRecorder::Answer(const Prompt& prompt)
{
    prompts_.push_back(RecordedPrompt{prompt.text.c_str(), prompt.icon, prompt.buttons});
    if (answers_.empty()) {
        ADD_FAILURE() << "a message box that the test did not answer: " << Utf8(prompt.text.c_str());
        return prompt.buttons == MB_OK ? IDOK : IDCANCEL;
    }
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

int UnexpectedPromptGuard::Answer(const Prompt& prompt)
{
    ADD_FAILURE() << "unexpected message box: " << Utf8(prompt.text.c_str());
    return prompt.buttons == MB_OK ? IDOK : IDCANCEL;
}
