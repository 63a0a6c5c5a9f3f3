#!/usr/bin/env python3
"""Seeds the fuzz targets' corpora from real files: fuzz-seeds.py TARGET OUT_DIR INPUT...

Each target takes its input in its own shape (see the comment at the top of fuzz/<File>.cpp);
this turns whole files into that shape. INPUTs are files or folders (searched recursively).
Prints the number of seeds written."""

import hashlib
import pathlib
import re
import struct
import sys


def files_of(inputs):
    for name in inputs:
        p = pathlib.Path(name)
        if p.is_dir():
            yield from sorted(q for q in p.rglob('*') if q.is_file())
        elif p.is_file():
            yield p


def write_seed(out, data):
    name = hashlib.sha1(data).hexdigest()
    (out / name).write_bytes(data)


def part(data):
    return struct.pack('<I', len(data)) + data


def table_families(inputs):
    """One seed per .DB: the family's .DB, .PX, .MB and first secondary index pair."""
    for db in files_of(inputs):
        if db.suffix.lower() != '.db':
            continue
        family = {q.suffix.upper(): q for q in db.parent.iterdir()
                  if q.is_file() and q.stem.lower() == db.stem.lower()}
        read = lambda ext: family[ext].read_bytes() if ext in family else b''
        index = sorted(e for e in family if re.fullmatch(r'\.X(G[0-9A-F]|[0-9A-F]{2})', e))
        selector, x, y = 0, b'', b''
        if index:
            ext = index[0]
            selector = 0 if ext[2] == 'G' else int(ext[2:], 16)
            x, y = read(ext), read('.Y' + ext[2:])
        yield bytes([selector]) + b''.join(part(d) for d in (read('.DB'), read('.PX'), read('.MB'), x, y))


def lha_headers(inputs):
    for f in files_of(inputs):
        data = f.read_bytes()[:1 << 16]
        yield struct.pack('<QQ', len(data), 0) + data


METHODS = {b'-lh0-': 0, b'-lh4-': 1, b'-lh5-': 2, b'-lh6-': 3, b'-lh7-': 4}


def member_streams(archive):
    """(method id, original size, packed bytes) of each member of an archive of level 0/1/2
    headers."""
    pos = 0
    while pos + 22 <= len(archive) and archive[pos] != 0:
        level = archive[pos + 20]
        method = archive[pos + 2:pos + 7]
        packed, original = struct.unpack_from('<II', archive, pos + 7)
        if level == 2:
            data = pos + struct.unpack_from('<H', archive, pos)[0]
        elif level in (0, 1):
            data = pos + archive[pos] + 2
            if level == 1:
                ext = struct.unpack_from('<H', archive, data - 2)[0]
                while ext and data + ext <= len(archive):
                    data += ext
                    packed -= ext
                    ext = struct.unpack_from('<H', archive, data - 2)[0]
        else:
            return
        yield method, original, archive[data:data + packed]
        pos = data + packed


def lha_streams(inputs):
    for f in files_of(inputs):
        for method, original, packed in member_streams(f.read_bytes()):
            if method in METHODS:
                # The target keeps the low 20 bits of the size: a larger member seeds its start.
                yield struct.pack('<BI', METHODS[method], original & 0xFFFFF) + packed


def whole_files(inputs):
    for f in files_of(inputs):
        yield f.read_bytes()


def command_lines(inputs):
    lines = [
        'e -c -y "C:\\Program Files\\Tovo\\Data\\Temp\\N_UpDate120502.lzh" "C:\\Program Files\\Tovo\\"',
        'x -a1 -n -jf0 "C:\\Program Files\\Tovo\\N_UpDate120502.lzh" "C:\\Program Files\\Tovo\\" *.*',
        'e /c C:\\Temp\\A.LZH C:\\Temp\\out\\ Tovo.EXE TovoData.DLL',
        'l -gm archive',
        't "archive with blanks.lzh"',
        'x -r2 data.lzh D: sub/*.DB ?ovo*.*',
    ]
    for line in lines:
        yield (line + '\0' + 'Data\\KOKYAKU.DB').encode('utf-16-le')


SHAPES = {
    'table_family': table_families,
    'engine_config': whole_files,
    'lha_header': lha_headers,
    'lha_archive': whole_files,
    'lha_decoder': lha_streams,
    'form_stream': whole_files,
    'version_resource': whole_files,
    'command_line': command_lines,
}


def main():
    target, out, inputs = sys.argv[1], pathlib.Path(sys.argv[2]), sys.argv[3:]
    out.mkdir(parents=True, exist_ok=True)
    count = 0
    for seed in SHAPES[target](inputs):
        write_seed(out, seed)
        count += 1
    print(count)


if __name__ == '__main__':
    main()
