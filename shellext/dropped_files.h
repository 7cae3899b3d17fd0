// The file list of a drop (the CF_HDROP format): the format the drop
// targets ask for, and a reading that checks the block before it trusts it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "common/stringlist.h"

// CF_HDROP, no target device, content aspect, index -1, global memory.
FORMATETC FileListFormat();

// Whether the data object says it can give a file list.
bool OffersFileList(IDataObject* data);

// Reads a DROPFILES block of size bytes into paths (wide or code-page
// names). False, with paths empty, when the block is too small for its
// header, its list starts outside it, the list runs past its end without
// its closing empty name, or the list holds no name.
bool ParseFileList(const void* block, SIZE_T size, StringList& paths);

// Asks the data object for its file list, checks the medium (global
// memory, a handle, a sound block) and copies the paths; the medium is
// released on every way out. False when there is no usable list.
bool ReadDroppedFiles(IDataObject* data, StringList& paths);
