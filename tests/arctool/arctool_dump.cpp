// The dump subcommand. The structural report is not part of this build yet;
// its writer replaces this file.
#include "arctool.h"

int RunDump(const std::vector<WString>&)
{
    WriteErr(WString(L"dump is not available in this build\n"));
    return 1;
}
