#include "shellext/dropped_files.h"

#include <shlobj.h>

#include "common/handles.h"
#include "common/wstring.h"

namespace {

// Copies names of one character type up to the closing empty name; false
// when the block ends first.
template <typename Char>
bool ReadNames(const Char* names, size_t count, StringList& paths, bool wide)
{
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        if (names[i] != 0) {
            continue;
        }
        if (i == start) {
            return true;
        }
        const Char* name = names + start;
        int length = static_cast<int>(i - start);
        if (wide) {
            paths.Insert(WString(reinterpret_cast<const wchar_t*>(name), length));
        } else {
            paths.Insert(WString::FromAnsi(reinterpret_cast<const char*>(name), length));
        }
        start = i + 1;
    }
    return false;
}

}  // namespace

FORMATETC FileListFormat() { return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

bool OffersFileList(IDataObject* data)
{
    FORMATETC format = FileListFormat();
    return data && data->QueryGetData(&format) == S_OK;
}

bool ParseFileList(const void* block, SIZE_T size, StringList& paths)
{
    paths.Clear();
    if (!block || size < sizeof(DROPFILES)) {
        return false;
    }
    const auto* header = static_cast<const DROPFILES*>(block);
    if (header->pFiles < sizeof(DROPFILES) || header->pFiles >= size) {
        return false;
    }
    const auto* start = static_cast<const BYTE*>(block) + header->pFiles;
    size_t bytes = size - header->pFiles;
    bool complete = header->fWide
                        ? ReadNames(reinterpret_cast<const wchar_t*>(start), bytes / sizeof(wchar_t), paths, true)
                        : ReadNames(reinterpret_cast<const char*>(start), bytes, paths, false);
    if (!complete || paths.Count() == 0) {
        paths.Clear();
        return false;
    }
    return true;
}

bool ReadDroppedFiles(IDataObject* data, StringList& paths)
{
    paths.Clear();
    if (!data) {
        return false;
    }
    FORMATETC format = FileListFormat();
    ScopedStgMedium medium;
    if (FAILED(data->GetData(&format, medium.Receive()))) {
        medium.Forget();
        return false;
    }
    if (medium.Get().tymed != TYMED_HGLOBAL || !medium.Get().hGlobal) {
        return false;
    }
    ScopedGlobalLock lock(medium.Get().hGlobal);
    return ParseFileList(lock.Data(), lock.Size(), paths);
}
