#pragma once
// A table's family: the data file NAME.DB and the files that share its base name.
// | Extension | Member |
// |---|---|
// | .DB | data |
// | .PX | primary index |
// | .MB | memo and other blobs |
// | .Xnn .Ynn (nn hex, field number) | single-field secondary index and its upper level |
// | .XGn .YGn (n a sequence number) | composite or case-insensitive secondary index |
// | .VAL | validity checks and referential integrity |
// | .TV .FAM .SET .RDO? etc. | form/view settings of the desktop tools |
// Names are matched without regard to letter case on every platform (the directory is
// scanned), since tables travel between file systems that fold case and ones that do not.
// A folder that does not exist holds no table; one that cannot be listed raises EDBEngineError
// kIoError (paradox/DurableFile.h, ListFolder) rather than pass for one without the file.
// A table name may be given with or without ".db".

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace paradox {

enum class FamilyMember {
  kData,
  kPrimaryIndex,
  kMemo,
  kSecondaryIndex,  // .Xnn .Ynn .XGn .YGn
  kValidity,        // .VAL
  kOther,           // .TV .FAM .SET ...
};

// The member an extension (".px", "XG0", ...) names, or std::nullopt for files that are not
// family members (".txt", ".bak").
std::optional<FamilyMember> ClassifyFamilyExtension(std::string_view extension);

// The base name without ".db" ("kokyaku.db" -> "kokyaku", "NewTovo" -> "NewTovo").
std::string TableBaseName(std::string_view tableName);

// The existing data file of `tableName` in `dir` (found without regard to case), or
// std::nullopt when there is none.
std::optional<std::filesystem::path> FindDataFile(const std::filesystem::path& dir, std::string_view tableName);

// The data file path a new table gets: the existing file's spelling if there is one, else
// base name + ".DB" (".db" when the caller wrote ".db" in lower case).
std::filesystem::path DataFilePath(const std::filesystem::path& dir, std::string_view tableName);

// "NAME.EXT" split at the last dot; the extension keeps its dot. A name without a dot, or whose
// only dot leads it, has no extension.
std::pair<std::string, std::string> SplitName(std::string_view name);

// The family files of base name `base` in `dir` (any letter case), the data file first, the
// others in the order the folder lists them. A listing that fails raises EDBEngineError.
std::vector<std::filesystem::path> FamilyFilesByBase(const std::filesystem::path& dir, std::string_view base);

// Every existing file of the family of `dataFile`'s base name in its directory, data file first.
std::vector<std::filesystem::path> FindFamilyFiles(const std::filesystem::path& dataFile);

// The path of a family member for `dataFile` with the extension `ext` (".PX", ".MB"): an existing
// file of any case, else one with the data file's extension case (".db" -> ".px").
std::filesystem::path FamilyMemberPath(const std::filesystem::path& dataFile, std::string_view ext);

bool TableExists(const std::filesystem::path& dir, std::string_view tableName);

// Removes the data file and every family file. Missing table: EDBEngineError kFileNotFound.
// Every member is first opened exclusively: one that another program holds (kFileLocked) or
// that cannot be opened for writing (kIoError) stops the deletion before anything is removed.
// The companions go first, the data file last.
void DeleteTable(const std::filesystem::path& dir, std::string_view tableName);

// Renames every family file to the new base name, keeping each extension. Fails before
// renaming anything when the source is missing (kFileNotFound) or a table of the new name
// exists (kInvalidParameter); a failure midway renames back what was renamed.
void RenameTable(const std::filesystem::path& dir, std::string_view oldName, std::string_view newName);

// Removes every family file of `tableName` (no error when there is none).
void RemoveFamily(const std::filesystem::path& dir, std::string_view tableName);

}  // namespace paradox
