// /UNINSTALL's removal (uninstall.cpp), over its parts (uninstall_parts.h).
#pragma once

#include "ctl/uninstall_parts.h"

/* uninstall.cpp */
enum class Removal { Done, Failed, OutOfMemory };
// Removes the values the records name, newest first, where they still hold
// what was recorded and their add-on key still belongs to this folder's
// install, then the keys that were left empty. Logs what it leaves.
Removal RemoveRecordedValues(Record *newest, int count);
