#pragma once
// Turning names into folders: an alias into its table folder, a path into "is it a folder",
// the user's choice in the shell's folder browser into a path. Paths are UTF-8.

#include <string>

// Sets `path` to "False", then to the value of the alias's first parameter line (everything
// after its first "="; a line without one is taken whole), untrimmed. An unknown alias
// (EDBEngineError) or an alias without parameters (std::out_of_range) leaves "False" and the
// error passes on.
void GetAliasPath(const std::string& alias, std::string& path);

// True when `path` names an existing directory; anything unreadable counts as absent.
bool FolderExists(const std::string& path);

// Shows the shell's folder browser over the computer's drives with `title` above the tree.
// `folder` becomes the chosen folder, or the empty string when the user cancels or picks
// something that is not a file-system folder; it stays unchanged when the browser cannot be
// shown at all. Natively there is no browser: `folder` becomes empty.
void SelectFolder(const std::string& title, std::string& folder);
