// The in-process server: the handler's class id and the count of live
// objects that decides whether the library may be unloaded. The shell calls
// from several threads, so the count moves by interlocked operations.
#pragma once

#include <windows.h>

extern const CLSID kDropHandlerClassId;

void ServerObjectCreated();
void ServerObjectReleased();
LONG ServerObjectCount();
