#!/usr/bin/python3
"""Reads the stand-ins' version blocks with pefile.

usage: check_versions.py TOVO_EXE OLD_TOVO_EXE REPORT_DLL DATA_DLL
"""
import sys
import unittest

import pefile

TOVO, OLD_TOVO, REPORT_DLL, DATA_DLL = sys.argv[1:5]
del sys.argv[1:5]


def read(path):
    pe = pefile.PE(path)
    fixed = pe.VS_FIXEDFILEINFO[0]
    words = (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS)
    tables = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
    return pe, fixed, words, tables


def dotted(ms, ls):
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


class StandinVersions(unittest.TestCase):
    def check(self, path, file_version, original, is_dll):
        pe, fixed, words, tables = read(path)
        self.assertEqual(fixed.Signature, 0xFEEF04BD)
        self.assertEqual(dotted(words[0], words[1]), file_version)
        self.assertEqual(dotted(words[2], words[3]), "1.9.0.0")
        self.assertEqual(list(tables), ["041103A4"])
        strings = tables["041103A4"]
        self.assertEqual(strings["FileVersion"], file_version)
        self.assertEqual(strings["OriginalFilename"], original)
        self.assertIn("トヴォ顧客管理", strings["FileDescription"])
        self.assertEqual(pe.is_dll(), is_dll)
        self.assertEqual(pe.FILE_HEADER.Machine, 0x14C)  # i386
        # No link time in the header: rebuilding gives the same bytes, and so the same archive.
        self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0)

    def test_tovo_of_the_update(self):
        self.check(TOVO, "1.9.4.36", "Tovo.EXE", False)

    def test_tovo_of_the_older_installation(self):
        self.check(OLD_TOVO, "1.9.2.22", "Tovo.EXE", False)

    def test_libraries(self):
        self.check(REPORT_DLL, "1.9.4.36", "TovoRept.DLL", True)
        self.check(DATA_DLL, "1.9.4.36", "TovoData.DLL", True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
