// Exports of the call frame itself. The frame also holds the table of exports against qxinst.h in
// every build (frame/export_table.h).
#include "frame/export_table.h"
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
