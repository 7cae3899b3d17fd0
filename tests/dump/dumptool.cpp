// A console driver of the structural report for tests that run outside the
// test programs: dumptool ARCHIVE REPORT [--yes|--no].
#include <windows.h>
#include <cstdio>
#include <cwchar>

#include "arctool/dump_command.h"

int wmain(int argc, wchar_t** argv)
{
    int answer = 0;
    if (argc == 4 && wcscmp(argv[3], L"--yes") == 0) {
        answer = IDYES;
    } else if (argc == 4 && wcscmp(argv[3], L"--no") == 0) {
        answer = IDNO;
    } else if (argc != 3) {
        fprintf(stderr, "usage: dumptool ARCHIVE REPORT [--yes|--no]\n");
        return 2;
    }
    return RunDumpCommand(WString(argv[1]), WString(argv[2]), answer);
}
