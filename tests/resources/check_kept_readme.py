#!/usr/bin/env python3
"""The keeper's "Data" block as Free Pascal's converter read it out of TUPDATEFORM, held
against the Shift-JIS readme the build made: a 4-byte little-endian count, then the bytes.

usage: check_kept_readme.py FPC_TEXT README
"""
import re
import struct
import sys


def main(fpc_text, readme_path):
    text = open(fpc_text, encoding='utf-8', errors='replace').read()
    keeper = re.search(r'object binaryKeeper1: TbinaryKeeper(.*?)\n\s*end', text, re.S)
    if not keeper:
        sys.exit(f'{fpc_text}: no binaryKeeper1')
    data = re.search(r'\bData = \{([0-9A-Fa-f\s]*)\}', keeper.group(1))
    if not data:
        sys.exit(f'{fpc_text}: binaryKeeper1 has no Data block')
    block = bytes.fromhex(''.join(data.group(1).split()))
    readme = open(readme_path, 'rb').read()
    if len(block) < 4:
        sys.exit(f'Data block of {len(block)} bytes cannot hold its count')
    (count,) = struct.unpack('<I', block[:4])
    problems = []
    if count != len(readme):
        problems.append(f'count {count}, readme has {len(readme)} bytes')
    if len(block) != 4 + count:
        problems.append(f'block of {len(block)} bytes for a count of {count}')
    if block[4:] != readme:
        problems.append('kept bytes differ from the readme')
    if problems:
        sys.exit('; '.join(problems))
    print(f'binaryKeeper1 keeps the {count} bytes of {readme_path}')


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
