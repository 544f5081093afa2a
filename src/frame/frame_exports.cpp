// Exports of the call frame itself: SetBuffer, and the host's unattended mode (frame/message_box.h).
// The frame also holds the table of exports against qxinst.h in every build (frame/export_table.h).
#include "frame/export_guard.h"
#include "frame/export_table.h"
#include "frame/message_box.h"
#include "qxinst.h"

/******************************************************************************
 * SetBuffer [QXINST.@]
 *
 * Does nothing. Hosts call it with any number of arguments; with cdecl the
 * caller removes them, so the stack stays balanced.
 *
 * RETURNS
 *  Nothing.
 */
extern "C" void QXAPI SetBuffer(void) { }

/******************************************************************************
 * SetUnattended [QXINST.@]
 *
 * Turns the unattended mode of a silent install on (nUnattended not 0) or
 * off (0). While it is on, every message box of every export is left out:
 * each box has only OK, so the export goes on as after OK, returns the same
 * result and leaves the same reason line. The mode holds until the host
 * changes it or unloads the DLL; it is off when the DLL is loaded.
 *
 * RETURNS
 *  Nothing.
 */
extern "C" void QXAPI SetUnattended(int nUnattended)
{
    qx::GuardVoid(__func__, [nUnattended] { qx::SetUnattendedMode(nUnattended != 0); });
}
