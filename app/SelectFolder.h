#pragma once
// The shell's folder browser. Windows only.

#include <string>

// Shows the shell's folder browser over the computer's drives with `title` above the tree.
// `folder` becomes the chosen folder, or the empty string when the user cancels or picks
// something that is not a file-system folder; it stays unchanged when the browser cannot be
// shown at all. Paths are UTF-8.
void SelectFolder(const std::string& title, std::string& folder);
