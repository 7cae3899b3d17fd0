// The dump subcommand: arctool dump ARCHIVE [REPORT] [--yes|--no|--cancel].
// The answer words are taken by the command line as a whole, wherever they
// stand, so the dump receives them already parsed. Without REPORT the report
// is written beside the archive, named after it with ".txt", as the setup
// tool names it.
#include "common/paths.h"
#include "tools/arctool/arctool.h"
#include "tools/arctool/dump_command.h"

int RunDump(const std::vector<WString>& paths, int answer)
{
    WString report = paths.size() == 2 ? paths[1]
                                       : JoinPath(ParentDir(paths[0]), BaseNamePart(paths[0]) + L".txt");
    return RunDumpCommand(paths[0], report, answer);
}
