/* Dialog 130 of ZPKSet: adding files to a cabinet. */
#ifndef ZPK_CAB_ADD_IDS_H
#define ZPK_CAB_ADD_IDS_H

#define IDD_CAB_ADD 130
#define IDC_CAB_NAME 1301
#define IDC_CAB_FOLDER 1302
#define IDC_CAB_CHANGE_FOLDER 1303
#define IDC_CAB_DROP_AREA 1304
#define IDC_CAB_CANCEL 1305

#endif
