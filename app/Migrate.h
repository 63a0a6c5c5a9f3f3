#pragma once
// The table migration as SETUP.EXE runs it: on the user-interface thread, with the progress
// window, the hourglass and the message dialog, over the folders of the aliases Tovo and
// TovoDemo. See migration/MigrateTables.h for what it does and how it fails.

bool MigrateTables();
