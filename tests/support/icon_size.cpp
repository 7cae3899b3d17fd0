#include "support/icon_size.h"

#include "common/handles.h"

int IconWidth(HICON icon)
{
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) {
        return 0;
    }
    ScopedGdiObject mask(info.hbmMask);
    ScopedGdiObject color(info.hbmColor);
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    return bitmap.bmWidth;
}
