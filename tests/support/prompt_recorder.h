// Stands in for the message boxes during tests: keeps every prompt with its
// icon and buttons and answers from a script. A prompt that no answer was
// scripted for fails the running test instead of waiting for a click.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/messages.h"

struct RecordedPrompt {
    std::wstring text;
    UINT icon;
    UINT buttons;
};

class PromptRecorder : public PromptHandler {
public:
    // Installs itself for the lifetime of the object.
    PromptRecorder();
    ~PromptRecorder() override;
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    // The answer for the next prompt that arrives (IDYES, IDOK ...).
    void Answer(int button) { answers_.push_back(button); }
    int Answer(const Prompt& prompt) override;

    const std::vector<RecordedPrompt>& Prompts() const { return prompts_; }
    size_t Count() const { return prompts_.size(); }
    std::wstring LastText() const { return prompts_.empty() ? std::wstring() : prompts_.back().text; }
    int UnusedAnswers() const { return static_cast<int>(answers_.size()); }
    void Clear() { prompts_.clear(); }

private:
    PromptHandler* previous_;
    std::deque<int> answers_;
    std::vector<RecordedPrompt> prompts_;
};

// The handler of the whole test program: any box that a test did not
// expect is a failure of that test.
class UnexpectedPromptGuard : public PromptHandler {
public:
    int Answer(const Prompt& prompt) override;
};

// Narrow text for test messages.
std::string Utf8(const std::wstring& text);
// The text as one UTF-8 line, for hosts that report to a script: each line
// break is written as the two characters \n, carriage returns are dropped.
std::string OneLineUtf8(const std::wstring& text);
