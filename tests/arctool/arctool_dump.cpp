// The dump subcommand: arctool dump ARCHIVE [REPORT] [--yes|--no|--cancel].
// The answer words are taken by the command line as a whole, wherever they
// stand, so the dump receives them already parsed. Without REPORT the report
// is written beside the archive, named after it with ".txt", as the setup
// tool names it.
#include "arctool.h"

#include "arctool/dump_command.h"
#include "common/paths.h"

int RunDump(const std::vector<WString>& paths, int answer)
{
    if (paths.empty() || paths.size() > 2) {
        WriteErr(WString(L"usage: arctool dump ARCHIVE [REPORT] [--yes|--no|--cancel]\n"));
        return 2;
    }
    WString report = paths.size() == 2 ? paths[1]
                                       : JoinPath(ParentDir(paths[0]), BaseNamePart(paths[0]) + L".txt");
    return RunDumpCommand(paths[0], report, answer);
}
