#!/usr/bin/env python3
"""SETUP.EXE read by pefile: its version block, its raw-data resources, its manifest and the
libraries it imports.

usage: check_setup_pe.py SETUP.EXE NAME=FILE ...
Each NAME=FILE says that the RCDATA resource NAME must hold exactly the bytes of FILE.
"""
import sys
from xml.etree import ElementTree

import pefile

RT_RCDATA = 10
RT_MANIFEST = 24
LANG_NEUTRAL = 0

# Libraries Windows always takes from its system folder (KnownDLLs), and COMCTL32, which the
# manifest binds to the side-by-side copy. Any other import would be looked for beside SETUP.EXE
# first, before a line of the program has run.
ALLOWED_IMPORTS = {'KERNEL32.DLL', 'USER32.DLL', 'GDI32.DLL', 'ADVAPI32.DLL', 'SHELL32.DLL', 'MSVCRT.DLL',
                   'COMCTL32.DLL'}
# Functions a Windows 7 without its updates lacks: imported, they would keep SETUP.EXE from starting.
LOOKED_UP_ONLY = {b'SetDefaultDllDirectories', b'AddDllDirectory', b'RemoveDllDirectory'}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def resource_entries(pe, type_id):
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id == type_id:
            for name in t.directory.entries:
                for lang in name.directory.entries:
                    yield name, lang


def resource_bytes(pe, lang):
    d = lang.data.struct
    return pe.get_data(d.OffsetToData, d.Size)


def check_imports(pe):
    imports = getattr(pe, 'DIRECTORY_ENTRY_IMPORT', [])
    names = {entry.dll.decode().upper() for entry in imports}
    check(names, 'an import table')
    check(names <= ALLOWED_IMPORTS, f'imports only system libraries: also {sorted(names - ALLOWED_IMPORTS)}')
    delayed = {entry.dll.decode().upper() for entry in getattr(pe, 'DIRECTORY_ENTRY_DELAY_IMPORT', [])}
    check(delayed <= ALLOWED_IMPORTS, f'delay-loads only system libraries: also {sorted(delayed - ALLOWED_IMPORTS)}')
    functions = {imp.name for entry in imports for imp in entry.imports if imp.name}
    check(not functions & LOOKED_UP_ONLY, f'imports {sorted(functions & LOOKED_UP_ONLY)} directly')


def main(exe, expectations):
    pe = pefile.PE(exe)
    check(pe.FILE_HEADER.Machine == 0x14C, 'a 32-bit x86 executable')
    check(pe.OPTIONAL_HEADER.Subsystem == 2, 'the Windows GUI subsystem')

    fixed = pe.VS_FIXEDFILEINFO[0]
    file_version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                    fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    product_version = (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                       fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)
    check(file_version == (1, 3, 1, 26), f'fixed file version {file_version}')
    check(product_version == (1, 3, 1, 26), f'fixed product version {product_version}')

    tables = {}
    translations = []
    for info in pe.FileInfo[0]:
        if info.Key == b'StringFileInfo':
            for table in info.StringTable:
                tables[table.LangID] = {k.decode(): v.decode() for k, v in table.entries.items()}
        elif info.Key == b'VarFileInfo':
            for var in info.Var:
                for key, value in var.entry.items():
                    key = key.decode() if isinstance(key, bytes) else key
                    translations.append((key, [int(v, 16) for v in value.split()]))
    check(list(tables) == [b'041103A4'], f'one string table 041103A4, got {list(tables)}')
    strings = tables.get(b'041103A4', {})
    expected = {
        'FileVersion': '1.3.1.26',
        'ProductVersion': '1.0.0.0',
        'FileDescription': 'Norvexアップデートプログラム',
        'OriginalFilename': 'SETUP.EXE',
        'InternalName': '',
        'LegalTrademarks': '',
        'ProductName': '',
        'Comments': '',
    }
    for key, value in expected.items():
        check(strings.get(key) == value, f'{key} is {strings.get(key)!r}, expected {value!r}')
    for key in ('CompanyName', 'LegalCopyright'):
        check('ケルモ工業' in strings.get(key, ''), f'{key} names the vendor: {strings.get(key)!r}')
    check(translations == [('Translation', [0x0411, 932])],
          f'translation 0x0411, 932: {translations}')

    rcdata = {}
    for name, lang in resource_entries(pe, RT_RCDATA):
        label = str(name.name) if name.name is not None else f'#{name.id}'
        rcdata[label] = (lang.id, resource_bytes(pe, lang))
    for expectation in expectations:
        name, path = expectation.split('=', 1)
        want = open(path, 'rb').read()
        got = rcdata.get(name)
        check(got is not None, f'RCDATA {name} present')
        if got is None:
            continue
        check(got[0] == LANG_NEUTRAL, f'RCDATA {name} is language neutral (got {got[0]:#x})')
        check(len(got[1]) == len(want), f'RCDATA {name}: {len(got[1])} bytes, file has {len(want)}')
        check(got[1] == want, f'RCDATA {name} holds the bytes of {path}')
        if name.startswith('T'):
            check(got[1][:4] == b'TPF0', f'RCDATA {name} starts with TPF0')
    wanted = {e.split('=', 1)[0] for e in expectations}
    check(set(rcdata) == wanted, f'RCDATA names {sorted(rcdata)}, expected {sorted(wanted)}')

    manifests = [resource_bytes(pe, lang) for _, lang in resource_entries(pe, RT_MANIFEST)]
    check(len(manifests) == 1, f'one manifest, got {len(manifests)}')
    if manifests:
        m = manifests[0].decode('utf-8')
        check('Microsoft.Windows.Common-Controls' in m and 'version="6.0.0.0"' in m,
              'manifest asks for common controls 6')
        check('<dpiAware' in m and '>false</dpiAware>' in m, 'manifest says dpiAware false')
        levels = [e.get('level') for e in ElementTree.fromstring(manifests[0]).iter()
                  if e.tag.endswith('}requestedExecutionLevel')]
        check(levels == ['highestAvailable'], f'manifest asks for the highest available rights, got {levels}')

    check_imports(pe)

    for f in failures:
        print('FAIL:', f)
    if failures:
        sys.exit(1)
    print(f'{exe}: version block, {len(rcdata)} RCDATA resources, the manifest and the imports as expected')


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2:])
