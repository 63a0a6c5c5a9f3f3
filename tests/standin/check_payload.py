#!/usr/bin/python3
"""Checks the payload archive N_UpDate120502.lzh as SETUP.EXE carries it.

usage: check_payload.py ARCHIVE STAGED_MEMBERS_DIR INI_SOURCE_DIR

The archive must hold the six members of the payload layout, in order, each a level-2 header
with the name, file-time and header-CRC extended headers and -lh5- data, and end in one zero
byte. lhasa and bsdtar, two independent LHA readers, must both accept it and give back the
staged members byte for byte.
"""
import calendar
import os
import struct
import subprocess
import sys
import tempfile
import unittest

ARCHIVE, STAGED, INI_SOURCES = sys.argv[1:4]
del sys.argv[1:4]

# Name, modification time (UTC) of the payload layout, in archive order.
LAYOUT = [
    ("TovoRept.DLL", "2010-04-12 02:05:47"),
    ("Tovo.EXE", "2011-10-27 08:00:01"),
    ("TovoSys.INI", "2009-03-31 01:58:14"),
    ("TovoForm.INI", "2010-04-02 07:34:42"),
    ("TovoPrn.INI", "2009-12-08 06:48:15"),
    ("TovoData.DLL", "2012-05-02 05:27:19"),
]
FILETIME_UNIX_EPOCH = 116444736000000000


def unix_time(text):
    return calendar.timegm(tuple(int(x) for x in text.replace("-", " ").replace(":", " ").split()) + (0, 0, 0))


def crc16(data, crc=0):
    # CRC-16/ARC, written out here independently of the product's own table.
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def parse(archive):
    members, pos = [], 0
    while archive[pos] != 0:
        size = struct.unpack_from("<H", archive, pos)[0]
        header = archive[pos:pos + size]
        m = {
            "header_size": size,
            "method": header[2:7],
            "packed": struct.unpack_from("<I", header, 7)[0],
            "unpacked": struct.unpack_from("<I", header, 11)[0],
            "mtime": struct.unpack_from("<I", header, 15)[0],
            "attribute": header[19],
            "level": header[20],
            "data_crc": struct.unpack_from("<H", header, 21)[0],
            "os": header[23],
            "first_ext_size": struct.unpack_from("<H", header, 24)[0],
            "ext": [],
        }
        ext_pos, ext_size = 26, m["first_ext_size"]
        while ext_size:
            body = header[ext_pos + 1:ext_pos + ext_size - 2]
            m["ext"].append((header[ext_pos], ext_size, body, ext_pos))
            ext_pos += ext_size
            ext_size = struct.unpack_from("<H", header, ext_pos - 2)[0]
        m["ext_end"] = ext_pos
        m["header"] = header
        members.append(m)
        pos += size + m["packed"]
    return members, pos


class Payload(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(ARCHIVE, "rb") as f:
            cls.archive = f.read()
        cls.members, cls.end = parse(cls.archive)

    def test_six_members_in_layout_order_then_one_zero_byte(self):
        self.assertEqual([m["ext"][0][2].decode("ascii") for m in self.members], [n for n, _ in LAYOUT])
        self.assertEqual(self.end, len(self.archive) - 1)
        self.assertEqual(self.archive[-1], 0)

    def test_header_fields_follow_the_layout(self):
        for m, (name, time) in zip(self.members, LAYOUT):
            with self.subTest(member=name):
                self.assertEqual(m["method"], b"-lh5-")
                self.assertEqual(m["level"], 2)
                self.assertEqual(m["attribute"], 0x20)
                self.assertEqual(m["os"], ord("M"))
                self.assertEqual(m["mtime"], unix_time(time))
                self.assertTrue(69 <= m["header_size"] <= 75, m["header_size"])
                self.assertTrue(11 <= m["first_ext_size"] <= 17, m["first_ext_size"])
                self.assertEqual(m["ext_end"], m["header_size"])
                self.assertEqual([(t, s) for t, s, _, _ in m["ext"]],
                                 [(0x01, len(name) + 3), (0x41, 27), (0x00, 5)])
                self.assertEqual(m["ext"][0][2], name.encode("ascii"))
                creation, second, third = struct.unpack("<3Q", m["ext"][1][2])
                filetime = unix_time(time) * 10000000 + FILETIME_UNIX_EPOCH
                # Readers disagree whether last write is the second or third time; both hold it.
                self.assertEqual((second, third), (filetime, filetime))
                self.assertNotEqual(creation, 0)

    def test_header_crcs_verify(self):
        for m, (name, _) in zip(self.members, LAYOUT):
            with self.subTest(member=name):
                _, _, body, at = m["ext"][2]
                stored = struct.unpack("<H", body[:2])[0]
                zeroed = bytearray(m["header"])
                zeroed[at + 1:at + 3] = b"\0\0"
                self.assertEqual(crc16(zeroed), stored)

    def test_data_matches_the_staged_members(self):
        for m, (name, _) in zip(self.members, LAYOUT):
            with self.subTest(member=name):
                with open(os.path.join(STAGED, name), "rb") as f:
                    data = f.read()
                self.assertEqual(m["unpacked"], len(data))
                self.assertEqual(m["data_crc"], crc16(data))
                self.assertLess(m["packed"], m["unpacked"])

    def test_settings_files_are_shift_jis_with_crlf(self):
        for name in ("TovoSys.INI", "TovoForm.INI", "TovoPrn.INI"):
            with self.subTest(member=name):
                with open(os.path.join(STAGED, name), "rb") as f:
                    data = f.read()
                with open(os.path.join(INI_SOURCES, name[:-4] + ".ini"), encoding="utf-8") as f:
                    source = f.read()
                self.assertEqual(data.decode("cp932"), source.replace("\n", "\r\n"))
                self.assertTrue(any(b >= 0x81 for b in data))

    def test_lhasa_tests_every_member(self):
        run = subprocess.run(["lhasa", "t", ARCHIVE], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout.count("Tested"), 6, run.stdout)

    def test_bsdtar_lists_the_members_in_order(self):
        run = subprocess.run(["bsdtar", "-tf", ARCHIVE], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout.split(), [n for n, _ in LAYOUT])

    def test_both_readers_extract_the_staged_bytes_and_times(self):
        for tool in (["lhasa", "xq"], ["bsdtar", "-xf"]):
            with self.subTest(tool=tool[0]), tempfile.TemporaryDirectory() as out:
                run = subprocess.run(tool + [os.path.abspath(ARCHIVE)], cwd=out, capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stderr)
                for name, time in LAYOUT:
                    with open(os.path.join(out, name), "rb") as a, open(os.path.join(STAGED, name), "rb") as b:
                        self.assertEqual(a.read(), b.read(), name)
                    self.assertEqual(int(os.stat(os.path.join(out, name)).st_mtime), unix_time(time), name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
