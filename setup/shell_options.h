// The three shell options that the install and settings dialogs offer: the
// menu verb as the double-click action, the program's icons for .zip and
// .cab, and the drop handler for .zip. They are kept in the user's class
// registration itself, and only entries that are ours are ever removed.
#pragma once

#include "common/wstring.h"
#include "setup/class_registry.h"

struct ShellOptions {
    bool menuDefault = false;
    bool ownIcons = false;
    bool dropHandler = false;
};

// The shell classes of .zip and .cab at the time of the call.
struct ShellClasses {
    WString zip;
    WString cab;
};
ShellClasses ReadShellClasses();

// Whether a value was written by this product.
bool IsOurDefaultVerb(const WString& value);
bool IsOurIcon(const WString& value);
bool IsOurDropHandler(const WString& value);

// The registry keys of one class's entries.
WString ShellKey(const WString& className);
WString DefaultIconKey(const WString& className);
WString DropHandlerKey(const WString& className);

// The state of the registration, from the .zip class alone.
ShellOptions ReadShellOptions(ClassRegistry& classes, const WString& zipClass);

// Writes or removes the three options for both classes; a class without a
// name is skipped. False when a write that was asked for failed.
bool WriteShellOptions(ClassRegistry& classes, const ShellClasses& names, const ShellOptions& options,
                       const WString& installFolder);

// The message telling the user which types have no class to register
// under; empty when both have one.
WString MissingClassNotice(const ShellClasses& names);
