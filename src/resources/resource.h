// Resource numbers of QXINST.dll: dialog templates and their control identifiers.
#pragma once

// ---- the progress windows ----
#define IDD_INSTALL_PROGRESS 108  // "Installing Services", driven by the host (SPOpen .. SPClose)
#define IDD_UPDATE_PROGRESS 129   // "Updating Settings, Please Wait....", shown while a settings text is split
#define IDC_PROGRESS_BAR 1004     // the bar of both windows
#define IDC_PROGRESS_TEXT 1009    // the label of the installation progress window


// ---- the server picker ----


// ---- the setup host's wizard pages and notice ----

