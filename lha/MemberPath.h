#pragma once
// Where an extracted member may go. Stored paths come from the archive and are not trusted: a
// destination never leaves the base folder, never names a drive, a device (CON, NUL.txt, ...)
// or an alternate data stream, and never relies on Windows silently dropping trailing dots.

#include <string>
#include <string_view>
#include <vector>

namespace lha {

// The stored path (bytes, "/" between folders) as UTF-8. Names are read as code page 932; bytes
// that are not valid there but valid UTF-8 are taken as UTF-8.
std::string StoredPathToUtf8(std::string_view storedPath);

// The stored path (or comment) as UTF-8 for a person to read: control characters, which a
// hostile name could use to drive the terminal or to forge lines of a report, are written as
// \r, \n and \xNN (the notation of SETUP.LOG); C1 controls (U+0080 to U+009F) as \xNN too.
std::string ShownPath(std::string_view storedPath);

// The destination below the base folder as UTF-8 components. With keepFolders false only the
// last component is kept. Throws ELhaError(UnsafeName) naming the rule that refused it.
std::vector<std::string> SafeDestination(std::string_view storedPath, bool keepFolders);

// True for CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$, with or without an
// extension, in any case, with trailing blanks before the extension.
bool IsDeviceName(std::string_view component);

}  // namespace lha
