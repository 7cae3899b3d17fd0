// A password source for tests: answers the engine's requests from a script,
// then cancels, and keeps every request.
#pragma once

#include <string>
#include <vector>

#include "common/password_prompt.h"

class ScriptedPasswords : public PasswordSource {
public:
    explicit ScriptedPasswords(std::vector<std::wstring> answers) : answers_(std::move(answers)) {}
    bool Ask(const PasswordRequest& request, WString& password) override
    {
        requests.push_back(request);
        if (next_ == answers_.size()) {
            return false;
        }
        password = answers_[next_++].c_str();
        return true;
    }
    std::vector<PasswordRequest> requests;

private:
    std::vector<std::wstring> answers_;
    size_t next_ = 0;
};
