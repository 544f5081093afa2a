// Resource numbers of QXINST.dll: dialog templates and their control identifiers.
#pragma once
