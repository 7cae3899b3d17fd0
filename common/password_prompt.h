// The password of an encrypted archive. The engine asks a password source
// when an entry needs one; the programs' source is a small dialog, which
// like the message boxes goes through one replaceable point, so that tests
// answer it from a script. A password lives only in memory: whoever takes
// one overwrites the text it came in.
#pragma once

#include <windows.h>

#include "common/wstring.h"

struct PasswordRequest {
    WString archivePath;
    // The entry's name as the archive stores it, with "/" separators.
    WString entryName;
    // The window of the action, which the dialog belongs to.
    HWND owner = nullptr;
    // The password given last did not open this entry.
    bool wrong = false;
    // The entries give no proof of the password given last (they hold no
    // data): it is asked once more, to be typed again.
    bool confirm = false;
};

class PasswordSource {
public:
    virtual ~PasswordSource() = default;
    // Fills password and returns true, or returns false when the user
    // cancelled (or, for a source that knows one password only, when that
    // one was wrong).
    virtual bool Ask(const PasswordRequest& request, WString& password) = 0;
};

// Installs a handler for every later dialog and returns the one it
// replaces; null restores the dialog.
PasswordSource* SetPasswordHandler(PasswordSource* handler);

// The dialog (or the installed handler): false when the user cancelled.
bool AskUserForPassword(const PasswordRequest& request, WString& password);

// The source of the programs: the dialog, owned by the action's window.
class DialogPasswords : public PasswordSource {
public:
    explicit DialogPasswords(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }
    bool Ask(const PasswordRequest& request, WString& password) override;

private:
    HWND owner_;
};

// Overwrites the text's units before it is cleared, so that a password
// does not stay behind in memory.
void WipeText(WString& text);

// The dialog's texts.
extern const wchar_t kPasswordWrongText[];
extern const wchar_t kPasswordConfirmText[];
WString PasswordArchiveLine(const WString& archivePath);
WString PasswordEntryLine(const WString& entryName);
