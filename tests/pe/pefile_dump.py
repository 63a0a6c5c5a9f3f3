#!/usr/bin/python3
# Prints what pefile reads from a PE file's version resources, one fact a line, for every
# language of the resource in directory order:
#   lang <language id>                       (hex)
#   fixed <FileVersionMS> <FileVersionLS> <ProductVersionMS> <ProductVersionLS>   (hex)
#   string <table key> <name>=<value>
# Nothing at all when the file has no version resource.
import sys
import pefile

RT_VERSION = 16
pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
langs = []
root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
for entry in (root.entries if root else []):
    if entry.id != RT_VERSION:
        continue
    for name in entry.directory.entries:
        for lang in name.directory.entries:
            langs.append(lang.id)
for i, fixed in enumerate(getattr(pe, "VS_FIXEDFILEINFO", []) or []):
    print("lang %x" % langs[i])
    print("fixed %x %x %x %x" % (fixed.FileVersionMS, fixed.FileVersionLS,
                                 fixed.ProductVersionMS, fixed.ProductVersionLS))
    for info in pe.FileInfo[i]:
        for table in getattr(info, "StringTable", []):
            for key, value in table.entries.items():
                print("string %s %s=%s" % (table.LangID.decode(), key.decode("utf-8"),
                                           value.decode("utf-8")))
