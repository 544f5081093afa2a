// Exports of the call frame itself.
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
