// Where the engine gets the password of an encrypted entry: the programs
// ask the user in a dialog, arctool answers from its command line, tests
// answer from a script.
#pragma once

#include "common/wstring.h"

struct PasswordRequest {
    WString archivePath;
    // The entry's name as the archive stores it, with "/" separators.
    WString entryName;
    // The password given last did not open this entry.
    bool wrong = false;
};

class PasswordSource {
public:
    virtual ~PasswordSource() = default;
    // Fills password and returns true, or returns false when the user
    // cancelled (or, for a source that knows one password only, when that
    // one was wrong).
    virtual bool Ask(const PasswordRequest& request, WString& password) = 0;
};
