#!/usr/bin/python3
"""Checks the built UNLHA32.DLL with pefile: a 32-bit DLL exporting exactly the undecorated
entries Unlha, UnlhaGetVersion and UnlhaGetRunning, importing only system DLLs (the MinGW
runtime is linked in statically)."""

import sys

import pefile

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "advapi32.dll", "ntdll.dll"}


def main(path):
    pe = pefile.PE(path)
    failures = []
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        failures.append("not a 32-bit x86 image: machine 0x%x" % pe.FILE_HEADER.Machine)
    if not pe.is_dll():
        failures.append("not a DLL")
    export_dir = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    exports = sorted(s.name.decode() for s in export_dir.symbols if s.name) if export_dir else []
    if exports != ["Unlha", "UnlhaGetRunning", "UnlhaGetVersion"]:
        failures.append("exports are %s" % exports)
    imports = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    foreign = [d for d in imports if d not in SYSTEM_DLLS]
    if foreign:
        failures.append("imports non-system DLLs %s" % foreign)
    for f in failures:
        print("FAIL:", f)
    print("exports:", exports, "imports:", imports)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
