#pragma once
// The table migration as SETUP.EXE runs it: on the user-interface thread, with the progress
// window, the hourglass and the message dialog, over the live and the demo alias folder the run
// has checked, which may differ from what the engine configuration names (a mapped drive
// reached through its network path). See migration/MigrateTables.h for what it does and how it
// fails.

#include <vector>

#include "migration/UpdateCheck.h"

bool MigrateTables(const std::vector<updatecheck::AliasFolder>& folders);
