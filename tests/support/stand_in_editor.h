// The stand-in editor: the test program itself in the "editor" role, which
// the shell starts for files of a test extension. The first line of the
// opened file says what the editor does:
//   change          append a line "edited"
//   same            write the same bytes again (a new time, no new content)
//   vanish          delete the file
//   swap|A|B        copy archive A over archive B, then append a line
//   signal|NAME     wait for the named event, then append a line
//   keep|NAME       append a line, set the event NAME_saved, and stay open
//                   (as an editor whose document is still shown) until the
//                   named event is set
//   hold|S|NAME     append a line, then end with the file left open for
//                   writing by another process until the named event is
//                   set, as a virus scanner or a sync client holds it: S "r"
//                   lets others read it meanwhile, "x" lets nobody in
// "same" and "vanish" take a few seconds, as a user's editor does; a
// program that ends at once is taken by the viewer as one that handed the
// file on. The "launcher" role hands the file to the editor in a second
// process and ends at once, as a program that passes files to a running
// instance of itself does; the "slow-launcher" role does the same, but takes
// longer than the viewer waits for a program that hands the file on.
// A program that uses it runs RunChildRoleIfAsked first (the test main does).
#pragma once

#include <string>

// Registers the stand-in editor as the program that opens files of an
// extension, and removes the registration again.
class StandInEditor {
public:
    // extension: with the dot; empty gives one of this test run's own.
    // role: "editor", "launcher" or "slow-launcher".
    explicit StandInEditor(const std::wstring& extension = std::wstring(), const std::wstring& role = L"editor");
    ~StandInEditor();
    StandInEditor(const StandInEditor&) = delete;
    StandInEditor& operator=(const StandInEditor&) = delete;
    const std::wstring& Extension() const { return extension_; }

private:
    std::wstring extension_;
    std::wstring progId_;
};
