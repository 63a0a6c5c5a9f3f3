#pragma once
// pdx migrate --live DIR --demo DIR: the table migration of SETUP.EXE on two folders, for
// support staff. A progress bar and the migration's messages go to the console; the exit code
// is 0 only when the migration returned true, 1 when it returned false or an error passed on,
// 2 for a wrong command line.

#include <ostream>
#include <string>
#include <vector>

namespace pdx {

// `args` as Run gets them ("migrate", "--live", DIR, "--demo", DIR).
int RunMigrate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pdx
