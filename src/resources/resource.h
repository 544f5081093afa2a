// Resource numbers of QXINST.dll: dialog templates and their control identifiers.
#pragma once

// ---- the progress windows ----
#define IDD_INSTALL_PROGRESS 108  // "Installing Services", driven by the host (SPOpen .. SPClose)
#define IDD_UPDATE_PROGRESS 129  // "Updating Settings, Please Wait....", shown while a settings text is split
#define IDC_PROGRESS_BAR 1004  // the bar of both windows
#define IDC_PROGRESS_TEXT 1009  // the label of the installation progress window

// ---- the server picker ----
#define IDD_SELECT_SERVER 107
#define IDC_SELECT_SERVER_COMBO 1008

// ---- the setup host's wizard pages and notice ----
// The notice "Configuring services, please wait..." (no export opens it).
#define IDD_CONFIGURING_NOTICE 102
// The wizard pages; the host loads them by number and reads their controls itself.
#define IDD_ZUVADAR_ACCOUNT_PAGE 104
#define IDD_TAVRIN_ACCOUNT_PAGE 105
#define IDD_SERVER_LIST_PAGE 106
#define IDD_RPC_SERVICES_PAGE 13029
#define IDD_DESTINATION_PAGE 13030
#define IDD_DESTINATION_UNC_PAGE 13031
// Controls shared by every wizard page, so that the host drives all pages with one handler.
#define IDC_WIZARD_NEXT 1
#define IDC_WIZARD_CANCEL 9
#define IDC_WIZARD_BACK 12
#define IDC_WIZARD_PICTURE 1200
#define IDC_WIZARD_SEPARATOR 1300
// The logon account pages (104, 105).
#define IDC_ACCOUNT_LOGIN 1183
#define IDC_ACCOUNT_PASSWORD 1184
#define IDC_ACCOUNT_CONFIRM 1185
#define IDC_ACCOUNT_DOMAIN 1186
// The server list page (106).
#define IDC_SERVER_LIST 1006
#define IDC_SERVER_LIST_ADD 1000
#define IDC_SERVER_LIST_REMOVE 1007
// The RPC services page (13029).
#define IDC_RPC_QORVEX 1003
#define IDC_RPC_KIXTART 1004
#define IDC_RPC_AUTOSTART 1000
// The destination folder page (13030).
#define IDC_DESTINATION_TEXT 1005
#define IDC_DESTINATION_BROWSE_HIDDEN 1003
#define IDC_DESTINATION_BROWSE 1002
#define IDC_DESTINATION_FOLDER 1004
// The destination folder (UNC) page (13031).
#define IDC_DESTINATION_UNC_TEXT 1001
#define IDC_DESTINATION_UNC_FOLDER 1183
#define IDC_DESTINATION_UNC_BROWSE 1000
