// The entry point of ZPKSet.exe.
#include <windows.h>

#include "setup/verbs.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunSetupProgram(WString()); }
