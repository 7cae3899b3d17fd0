// The password of an encrypted archive, asked of the user in a small dialog.
// Like the message boxes it goes through one replaceable point, so that
// tests answer it from a script. A password lives only in memory, in a
// SecretText that wipes it when it goes.
#pragma once

#include <windows.h>

#include <string>

#include "common/wstring.h"

// Text that is wiped from memory when it is replaced or destroyed.
class SecretText {
public:
    SecretText() = default;
    SecretText(const wchar_t* units, size_t count) : text_(units, count) {}
    ~SecretText() { Wipe(); }
    SecretText(const SecretText& other) : text_(other.text_) {}
    SecretText& operator=(const SecretText& other);
    const std::wstring& Text() const { return text_; }
    bool IsEmpty() const { return text_.empty(); }
    void Wipe();

private:
    std::wstring text_;
};

struct PasswordRequest {
    // The archive's path (the dialog shows its name) and the entry that
    // needs the password.
    WString archive;
    WString entry;
    HWND owner = nullptr;
    // The password given before did not open the entry.
    bool wrongBefore = false;
};

class PasswordHandler {
public:
    virtual ~PasswordHandler() = default;
    // False when the user cancelled; otherwise password holds what was typed.
    virtual bool Ask(const PasswordRequest& request, SecretText& password) = 0;
};

// Installs a handler for every later request and returns the one it
// replaces; null restores the dialog.
PasswordHandler* SetPasswordHandler(PasswordHandler* handler);

bool AskPassword(const PasswordRequest& request, SecretText& password);

// The dialog's texts.
extern const wchar_t kPasswordWrongText[];
WString PasswordArchiveLine(const WString& archivePath);
WString PasswordEntryLine(const WString& entry);
