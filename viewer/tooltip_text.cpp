#include "viewer/tooltip_text.h"

#include "common/dpi.h"
#include "common/format.h"

WString AttributeLine(DWORD attributes)
{
    WString line;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        line += L"読取専用,";
    }
    if (attributes & FILE_ATTRIBUTE_HIDDEN) {
        line += L"隠しファイル,";
    }
    if (!(attributes & FILE_ATTRIBUTE_ARCHIVE)) {
        line += L"アーカイブでない,";
    }
    if (attributes & FILE_ATTRIBUTE_SYSTEM) {
        line += L"システム,";
    }
    return line.IsEmpty() ? line : line.Left(line.Length() - 1);
}

void ArchiveFileLines(const WString& path, const WIN32_FILE_ATTRIBUTE_DATA& data, StringList& lines)
{
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    lines.Insert(path);
    lines.Insert(FormatGrouped(size) + L" バイト");
    lines.Insert(L"作成日時：" + FormatFileTime(data.ftCreationTime));
    lines.Insert(L"更新日時：" + FormatFileTime(data.ftLastWriteTime));
    lines.Insert(L"アクセス日時：" + FormatFileTime(data.ftLastAccessTime));
    WString attributes = AttributeLine(data.dwFileAttributes);
    if (!attributes.IsEmpty()) {
        lines.Insert(attributes);
    }
}

void EntryLines(const WString& path, int size, int packedSize, const FILETIME& lastWrite, DWORD attributes,
                const StringList& further, StringList& lines)
{
    lines.Insert(path);
    if (size >= 0) {
        lines.Insert(L"圧縮前サイズ：" + FormatGrouped(static_cast<uint64_t>(size)) + L" バイト");
    }
    if (packedSize >= 0) {
        lines.Insert(L"圧縮後サイズ：" + FormatGrouped(static_cast<uint64_t>(packedSize)) + L" バイト");
    }
    if (lastWrite.dwLowDateTime != 0 || lastWrite.dwHighDateTime != 0) {
        lines.Insert(L"更新日時：" + FormatFileTime(lastWrite));
    }
    if (attributes != static_cast<DWORD>(-1)) {
        WString line = AttributeLine(attributes);
        if (!line.IsEmpty()) {
            lines.Insert(line);
        }
    }
    for (int i = 0; i < further.Count(); ++i) {
        lines.Insert(further[i]);
    }
}

WString AboutLine() { return WString(L"Zupako Ver.2.23"); }

POINT PlaceTooltip(const TooltipGeometry& geometry, int width, int height)
{
    int gap = geometry.itemWidth + 2 * geometry.edgeWidth + ScaleToDpi(1, geometry.dpi);
    POINT at{geometry.reference.x + gap, geometry.reference.y};
    if (at.x + width > geometry.bounds.right) {
        at.x = geometry.reference.x - width - (geometry.hasOwner ? 0 : gap);
    }
    if (at.y + height > geometry.bounds.bottom) {
        at.y = geometry.reference.y - height - (geometry.hasOwner ? 0 : ScaleToDpi(10, geometry.dpi));
    }
    if (at.x < geometry.bounds.left) {
        at.x = geometry.reference.x + gap;
    }
    if (at.y < geometry.bounds.top) {
        at.y = geometry.reference.y;
    }
    return at;
}
