#!/usr/bin/python3
"""Checks the built exe as a file: the machine it is built for, a GUI
program, address-space randomisation and no-execute data switched on, no
section both writable and executable, and imports from system libraries only
(the C and C++ runtimes are linked in).

Usage: exe_image_test.py EXE i686|x86_64 [console]
With "console" the exe must be a console program (the solver and the hint
companion) instead of a GUI one."""
import struct
import sys

SYSTEM_LIBRARIES = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'winmm.dll', 'shell32.dll',
                    'msvcrt.dll', 'advapi32.dll'}
MACHINES = {'i686': 0x014C, 'x86_64': 0x8664}
DYNAMIC_BASE, NX_COMPAT = 0x0040, 0x0100
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000


def main():
    path, arch = sys.argv[1], sys.argv[2]
    wanted = 3 if sys.argv[3:] == ['console'] else 2
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    assert data[pe:pe + 4] == b'PE\0\0', 'not a PE file'
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    wide = magic == 0x20B
    subsystem, characteristics = struct.unpack_from('<HH', data, optional + 68)
    directories = optional + (112 if wide else 96)
    import_rva = struct.unpack_from('<I', data, directories + 8)[0]

    failures = []
    if machine != MACHINES[arch]:
        failures.append('machine 0x%04X, not %s' % (machine, arch))
    if wide != (arch == 'x86_64'):
        failures.append('optional header of the wrong width')
    if subsystem != wanted:
        failures.append('subsystem %d, not %s program' % (subsystem, 'a console' if wanted == 3 else 'a GUI'))
    if not characteristics & DYNAMIC_BASE:
        failures.append('address-space randomisation (DYNAMIC_BASE) is off')
    if not characteristics & NX_COMPAT:
        failures.append('no-execute data (NX_COMPAT) is off')

    table = optional + optional_size
    layout = []
    for i in range(sections):
        name, vsize, rva, rawsize, rawptr = struct.unpack_from('<8sIIII', data, table + 40 * i)
        flags = struct.unpack_from('<I', data, table + 40 * i + 36)[0]
        layout.append((rva, max(vsize, rawsize), rawptr))
        if flags & MEM_EXECUTE and flags & MEM_WRITE:
            failures.append('section %s is writable and executable' % name.rstrip(b'\0').decode())

    def offset(rva):
        for start, size, raw in layout:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError('address %x outside every section' % rva)

    imported = []
    at = offset(import_rva)
    while True:
        name_rva = struct.unpack_from('<I', data, at + 12)[0]
        if name_rva == 0:
            break
        name_at = offset(name_rva)
        imported.append(data[name_at:data.index(b'\0', name_at)].decode().lower())
        at += 20
    for dll in imported:
        if dll not in SYSTEM_LIBRARIES:
            failures.append('imports a library that is not part of Windows: ' + dll)

    print('%s: %s, imports %s' % (path, arch, ' '.join(imported)))
    for failure in failures:
        print('FAIL: ' + failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
