#pragma once
// The table migration as SETUP.EXE runs it: on the user-interface thread, with the progress
// window, the hourglass and the message dialog, over the live and the demo alias folder the run
// has checked, which may differ from what the engine configuration names (a mapped drive
// reached through its network path). See migration/MigrateTables.h for what it does and how it
// fails.

#include <memory>
#include <vector>

#include "migration/MigrationUi.h"
#include "migration/UpdateCheck.h"

// The progress window, the hourglass and the message dialog as the migration sees them.
std::unique_ptr<migration::MigrationUi> MakeProgressWindowUi();

bool MigrateTables(const std::vector<updatecheck::AliasFolder>& folders);
