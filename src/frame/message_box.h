// The library's message boxes, and the host's unattended mode. Every box passes through
// ShowMessageBox: while the host has asked for unattended mode (SetUnattended), the box is left out
// instead of shown. Every box has only OK and its caller ignores the answer, so a box left out
// changes nothing else: the export goes on as after OK, with the same result and reason line.
#pragma once

#include "platform/win_types.h"

namespace qx {

// Shows a box without an owner window (uType: MB_OK with the modality and icon), or, in unattended
// mode, leaves it out and tells the platform's observer, if any, what it would have shown.
void ShowMessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT uType);

// Unattended mode: off when the library is loaded; the host's setting lasts until it changes it.
void SetUnattendedMode(bool bUnattended);

}  // namespace qx
