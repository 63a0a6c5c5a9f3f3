#pragma once
// The table migration as SETUP.EXE runs it: on the user-interface thread, with the progress
// window, the hourglass and the message dialog, over the folders of the aliases Tovo and
// TovoDemo. See migration/MigrateTables.h for what it does and how it fails.

#include <string>

bool MigrateTables();
// The same over the folders the run has checked, which may differ from what the engine
// configuration names (a mapped drive reached through its network path).
bool MigrateTables(const std::string& liveFolder, const std::string& demoFolder);
