// ZPKMain.exe: started by the shell with the path of an archive.
#include <windows.h>

#include "viewer/viewer.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return RunViewer(WString(GetCommandLineW())); }
