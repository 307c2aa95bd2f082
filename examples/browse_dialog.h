// Resource ids of browse_dialog, shared by its .cpp and .rc.
#pragma once

#define IDD_BROWSE 100
#define IDC_TREE 101
#define IDC_LIST 102
#define IDC_STATUS 103

// The dialog's own icons, in the order of its image list.
#define IDI_NETWORK 200
#define IDI_HOST 201
#define IDI_SERVER 202
#define IDI_BRANCH 203
#define IDI_ITEM 204
#define IDI_ERROR_ROW 205
