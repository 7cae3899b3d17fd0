// The dump subcommand: arctool dump ARCHIVE [REPORT] [--yes|--no]. Without
// REPORT the report is written beside the archive, named after it with
// ".txt", as the setup tool names it.
#include "arctool.h"

#include <windows.h>

#include "arctool/dump_command.h"
#include "common/paths.h"

int RunDump(const std::vector<WString>& arguments)
{
    std::vector<WString> paths;
    int answer = 0;
    for (const WString& argument : arguments) {
        if (argument == L"--yes") {
            answer = IDYES;
        } else if (argument == L"--no") {
            answer = IDNO;
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.empty() || paths.size() > 2) {
        WriteErr(WString(L"usage: arctool dump ARCHIVE [REPORT] [--yes|--no]\n"));
        return 2;
    }
    WString report = paths.size() == 2 ? paths[1]
                                       : JoinPath(ParentDir(paths[0]), BaseNamePart(paths[0]) + L".txt");
    return RunDumpCommand(paths[0], report, answer);
}
