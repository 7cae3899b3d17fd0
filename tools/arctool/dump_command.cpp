#include "tools/arctool/dump_command.h"

#include <cstdio>

#include "common/messages.h"
#include "common/paths.h"
#include "dump/dump_run.h"

namespace {

void PrintLine(const char* prefix, const WString& text)
{
    AString bytes = text.ToUtf8();
    fprintf(stderr, "%s%s\n", prefix, bytes.c_str());
    fflush(stderr);
}

// A command-line run has nobody to click a box: questions take the answer
// given on the command line, messages go to standard error.
class CommandPromptHandler : public PromptHandler {
public:
    explicit CommandPromptHandler(int answer) : answer_(answer) {}

    int Answer(const Prompt& prompt) override
    {
        if (prompt.buttons == MB_YESNO || prompt.buttons == MB_YESNOCANCEL) {
            PrintLine("question: ", prompt.text);
            if (answer_ == IDYES || answer_ == IDNO) {
                PrintLine("answer: ", answer_ == IDYES ? WString(L"yes") : WString(L"no"));
                return answer_;
            }
            if (answer_ == IDCANCEL) {
                PrintLine("answer: ", WString(L"cancel"));
                return prompt.buttons == MB_YESNOCANCEL ? IDCANCEL : IDNO;
            }
            PrintLine("answer: ", WString(L"no (give --yes to answer yes)"));
            return IDNO;
        }
        PrintLine(prompt.icon == MB_ICONERROR ? "error: " : "message: ", prompt.text);
        return prompt.buttons == MB_OKCANCEL ? IDCANCEL : IDOK;
    }

private:
    int answer_;
};

class ScopedPromptHandler {
public:
    explicit ScopedPromptHandler(PromptHandler* handler) : previous_(SetPromptHandler(handler)) {}
    ~ScopedPromptHandler() { SetPromptHandler(previous_); }
    ScopedPromptHandler(const ScopedPromptHandler&) = delete;
    ScopedPromptHandler& operator=(const ScopedPromptHandler&) = delete;

private:
    PromptHandler* previous_;
};

}  // namespace

int RunDumpCommand(const WString& archive, const WString& report, int promptAnswer)
{
    if (!PathExists(archive) || IsDirectory(archive)) {
        PrintLine("error: ", L"引数が違っています。 " + archive);
        return 2;
    }
    CommandPromptHandler handler(promptAnswer);
    ScopedPromptHandler scope(&handler);
    return RunArchiveDump(ChooseDumpFormat(archive), archive, report) ? 0 : 1;
}
