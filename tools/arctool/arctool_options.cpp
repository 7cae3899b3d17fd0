// The command line of arctool. Options are taken wherever they stand, so
// that a word after the operands (`arctool dump A R --yes`) reaches the
// subcommand as surely as one before the verb.
#include "tools/arctool/arctool.h"

#include <cstdint>

#include "common/settings.h"

namespace {

struct ValueOption {
    const wchar_t* word;
    const wchar_t* setting;
    DWORD most;
};

// The cabinet compression settings, with the ranges the settings dialog can
// store: a value outside them would be read as the default, and the run
// would not be what the command line asked for.
const ValueOption kValueOptions[] = {
    {L"--type", L"CabCompType", 2},
    {L"--unit", L"CabFType", 2},
    {L"--size", L"CabFSize", kMaxCabUnitSize},
};

// Plain decimal digits up to most; signs, blanks and other text are refused.
bool ParseNumber(const WString& text, DWORD most, DWORD& value)
{
    if (text.IsEmpty() || text.Length() > 10) {
        return false;
    }
    uint64_t number = 0;
    for (int i = 0; i < text.Length(); ++i) {
        wchar_t unit = text.At(i);
        if (unit < L'0' || unit > L'9') {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(unit - L'0');
    }
    if (number > most) {
        return false;
    }
    value = static_cast<DWORD>(number);
    return true;
}

const ValueOption* FindValueOption(const WString& word)
{
    for (const ValueOption& option : kValueOptions) {
        if (word == option.word) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

ToolCommandLine ParseToolCommandLine(const std::vector<WString>& arguments)
{
    ToolCommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const WString& word = arguments[i];
        if (word == L"--yes") {
            line.answer = AnswerMode::kYes;
        } else if (word == L"--no") {
            line.answer = AnswerMode::kNo;
        } else if (word == L"--cancel") {
            line.answer = AnswerMode::kCancel;
        } else if (word == L"--password") {
            if (i + 1 == arguments.size()) {
                line.error = L"--password takes the password";
                return line;
            }
            line.hasPassword = true;
            line.password = arguments[++i];
        } else if (word == L"--sort") {
            line.settings.emplace_back(L"CabSort", 1);
        } else if (const ValueOption* option = FindValueOption(word)) {
            DWORD value = 0;
            if (i + 1 == arguments.size() || !ParseNumber(arguments[i + 1], option->most, value)) {
                line.error = WString(option->word) + L" takes a number from 0 to " +
                             WString::FromInt(static_cast<long long>(option->most));
                return line;
            }
            line.settings.emplace_back(option->setting, value);
            ++i;
        } else if (word.StartsWith(L"--")) {
            // An unknown option is refused rather than taken for a path.
            line.error = L"unknown option " + word;
            return line;
        } else {
            line.words.push_back(word);
        }
    }
    return line;
}
