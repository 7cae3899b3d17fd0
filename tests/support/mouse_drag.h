// A user dragging files from a folder window onto a window of any process:
// an OLE drag of a file list, carried by real mouse input.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Presses the left button on a small window of this thread at from (the
// folder window the files come from), starts the drag of the paths from this
// thread (OLE initialised), moves the mouse in steps onto the middle of the
// target window and lets go. Returns the drag's result (DRAGDROP_S_DROP when
// it ended with a drop) and the effect the target gave back.
HRESULT DragFilesWithMouse(const std::vector<std::wstring>& paths, POINT from, HWND target, DWORD* effect);
