#pragma once
// Settling what an earlier update left interrupted (a power cut, a killed program, a file held
// by another program): every field restructure and every table replacement of the tables the
// migration touches is completed or undone, in both alias folders, before anything is checked
// or changed. Opening a table does none of this by itself, so the check that follows reads the
// files exactly as settling left them, and the user can be told what settling did.

#include <optional>
#include <string>
#include <vector>

#include "migration/UpdateCheck.h"

namespace migration {

struct SettledOperation {
  std::string table;  // as the user reads it: folder + "\" + table
  bool completed;     // false: undone, the old table kept
  std::string Describe() const;  // one line for the user, Japanese
};

struct SettleReport {
  std::vector<SettledOperation> done;
  // An operation that could not be settled (a lock another program holds, a file that cannot
  // be removed): the text of the error box, the table's failure line, two carriage returns and
  // the engine's own text. Settling stopped there.
  std::optional<std::string> failure;

  std::vector<std::string> Lines() const;  // Describe() of each
};

// Folders that are empty or missing are passed over: the check names them.
SettleReport SettleInterrupted(const std::vector<updatecheck::AliasFolder>& folders);

}  // namespace migration
