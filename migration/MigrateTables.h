#pragma once
// MigrateTables: brings the tables of the live and the demo alias folder to the structure the
// new program expects. Phases, each unit of work for the live folder and then the demo folder:
//   1. seven character fields widened in place;
//   2. the tovo, customer and large-motorcycle tables rebuilt (the live folder's old files first
//      copied to its backup folder TempData and checked there);
//   3. six tables created where they are missing.
// Returns true only when every phase has run to its end for both folders. False when a failure
// the migration handles itself ended it; that failure has been shown, the pointer restored and
// the progress window closed. Other errors (an alias that is not configured, a widening table
// that is missing, a source field that is not there) pass on with the window still showing.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "migration/MigrationUi.h"
#include "migration/UpdateCheck.h"

namespace migration {

// Called after each file operation of the migration with a short description of it.
using MigrationProbe = std::function<void(std::string_view what)>;

// `folders` are the live alias folder and then the demo one, as the caller resolved and checked
// them (the same list the check before changes and the settling take).
bool MigrateTables(MigrationUi& ui, const std::vector<updatecheck::AliasFolder>& folders,
                   const MigrationProbe& probe = {});

// The two folders under the alias names kLiveAlias and kDemoAlias.
std::vector<updatecheck::AliasFolder> AliasFolders(std::string live, std::string demo);

}  // namespace migration
