/* Resource numbers of ZPKMain beyond the shared ones of common_ids.h. */
#ifndef ZPK_VIEWER_IDS_H
#define ZPK_VIEWER_IDS_H

#include "common_ids.h"

#define IDS_VIEWER_NAME 200

#endif
