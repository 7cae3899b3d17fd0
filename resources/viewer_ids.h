/* Resource numbers of ZPKMain beyond the shared ones of common_ids.h. */
#ifndef ZPK_VIEWER_IDS_H
#define ZPK_VIEWER_IDS_H

#include "common_ids.h"

#define IDS_VIEWER_NAME 200

/* The window that waits for an edit handed to a program already running. */
#define IDD_STORE_WAIT 300
#define IDC_STORE_TEXT 301
#define IDC_STORE_FILE 302
#define IDC_STORE_KEEP 303
#define IDC_STORE_DISCARD 304

#endif
