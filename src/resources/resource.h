// Resource numbers of QXINST.dll: dialog templates and their control identifiers.
#pragma once

// ---- the progress windows ----


// ---- the server picker ----


// ---- the setup host's wizard pages and notice ----

