#pragma once
// The copy list's work: files named in a list copied from one folder into another, each file
// that is missing or fails to copy reported in its own error box.

#include <string>

#include "framework/Classes.h"

// `sourceFolder` ends in a backslash, `targetFolder` does not (UTF-8). Each entry is a bare file
// name; an entry of any attributes, a folder included, counts as found. Existing files in the
// target are replaced; a missing target folder is not created. True only when the list is not
// empty and every entry was found and copied. The list is not changed; failures never stop the
// loop.
bool CopyNamedFiles(const std::string& sourceFolder, const std::string& targetFolder, const TStrings& list);
