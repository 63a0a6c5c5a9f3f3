#pragma once
// Every text the migration shows its user, in one place (UTF-8).

#include <string>
#include <string_view>

#include "migration/MigrationData.h"

namespace migration {

// A table could not be prepared or created: an error box with a single Yes.
constexpr std::string_view kCreateTableFailed = "テーブルを作成することができませんでした";

// A rebuild's failure line; the box adds two carriage returns and the engine's own text.
constexpr std::string_view RebuildFailureLine(RebuildFailure f) {
  switch (f) {
    case RebuildFailure::kTovo: return "トヴォテーブルの更新に失敗しました";
    case RebuildFailure::kKokyaku: return "顧客テーブルの更新に失敗しました";
    case RebuildFailure::kBigTovo: return "自動二輪テーブルの更新に失敗しました";
  }
  return {};
}

inline std::string RebuildFailureText(RebuildFailure f, std::string_view engineText) {
  return std::string(RebuildFailureLine(f)) + "\r\r" + std::string(engineText);
}

}  // namespace migration

namespace migration {

// Texts of the checks made before an old table is deleted; they travel as engine errors, so
// the table's failure line comes before them.
constexpr std::string_view kNewTableCountWrong = "The new table does not hold every record of the old one.";
constexpr std::string_view kBackupNotVerified = "The backup copy of the table's file is missing or differs from it.";
constexpr std::string_view kBackupFolderMissing = "The backup folder is missing and cannot be created.";

}  // namespace migration
