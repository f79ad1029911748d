#!/usr/bin/python3
"""Reads a built exe (PE): header fields, sections, imports, resources.
As a program it checks the exe as a file:
  pe.py EXE i686|x86_64 gui|console    machine, subsystem, ASLR, DEP, sections, imports
  pe.py EXE resources                  the traps of the resource compiler"""
import struct
import sys

RT_BITMAP, RT_DIALOG = 2, 5
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'winmm.dll', 'shell32.dll', 'msvcrt.dll', 'advapi32.dll'}


def load(path):
    """The exe's header fields, sections, imported DLLs and resources."""
    d = open(path, 'rb').read()
    pe = struct.unpack_from('<I', d, 0x3C)[0]
    assert d[pe:pe + 4] == b'PE\0\0', '%s is not a PE file' % path
    machine, count, _, _, _, opt_size, _ = struct.unpack_from('<HHIIIHH', d, pe + 4)
    opt = pe + 24
    wide = struct.unpack_from('<H', d, opt)[0] == 0x20B
    subsystem, dll_flags = struct.unpack_from('<HH', d, opt + 68)
    dirs = opt + (112 if wide else 96)
    sections = [struct.unpack_from('<8sIIII12xI', d, opt + opt_size + 40 * i) for i in range(count)]

    def offset(rva):
        for _, vsize, va, raw_size, raw, _ in sections:
            if va <= rva < va + max(vsize, raw_size):
                return raw + rva - va
        raise ValueError('address %#x in no section' % rva)

    def string(at):
        return d[at:d.index(b'\0', at)].decode()
    imports = []
    at = offset(struct.unpack_from('<I', d, dirs + 8)[0])
    while struct.unpack_from('<I', d, at + 12)[0]:
        imports.append(string(offset(struct.unpack_from('<I', d, at + 12)[0])).lower())
        at += 20
    resources, rva = {}, struct.unpack_from('<I', d, dirs + 16)[0]     # (type, name): first language
    root = offset(rva) if rva else None

    def entries(at):
        named, ids = struct.unpack_from('<HH', d, at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', d, at + 16 + 8 * i)
            if name & 0x80000000:
                n = root + (name & 0x7FFFFFFF)
                name = d[n + 2:n + 2 + 2 * struct.unpack_from('<H', d, n)[0]].decode('utf-16-le')
            yield name, root + (target & 0x7FFFFFFF)
    for kind, names in entries(root) if root else ():
        for name, languages in entries(names):
            rva, size = struct.unpack_from('<II', d, next(entries(languages))[1])
            resources[(kind, name)] = d[offset(rva):offset(rva) + size]
    return dict(machine=machine, wide=wide, subsystem=subsystem, dll_flags=dll_flags, sections=sections,
                imports=imports, resources=resources)


def dib(data):
    """(width, height, palette bytes, rows top-down of B, G, R, 0 pixels) of an 8-bit DIB."""
    size, w, h, _, bits, compression = struct.unpack_from('<IiiHHI', data)
    assert (bits, compression) == (8, 0), 'bitmap of %d bits, compression %d' % (bits, compression)
    colours = struct.unpack_from('<I', data, 32)[0] or 256
    palette = data[size:size + 4 * colours]
    quads = [palette[4 * i:4 * i + 3] + b'\0' for i in range(colours)]
    stride, at = (w + 3) // 4 * 4, size + 4 * colours
    lines = [b''.join(quads[p] for p in data[at + y * stride:at + y * stride + w]) for y in range(abs(h))]
    return w, abs(h), palette, lines[::-1] if h > 0 else lines


def dialog(t):
    """(style, title, [(style, x, y, cx, cy, id, class, text)]) of a DIALOG template."""
    def field(at):
        if t[at:at + 2] == b'\xff\xff':
            return '#%d' % struct.unpack_from('<H', t, at + 2)[0], at + 4
        end = at
        while t[end:end + 2] != b'\0\0':
            end += 2
        return t[at:end].decode('utf-16-le'), end + 2
    style, _, count = struct.unpack_from('<IIH', t)
    _, at = field(18)
    _, at = field(at)
    title, at = field(at)
    if style & 0x40:                        # DS_SETFONT: point size and face
        _, at = field(at + 2)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        fields = struct.unpack_from('<I4xhhhhH', t, at)
        cls, at = field(at + 18)
        text, at = field(at)
        at += 2 + struct.unpack_from('<H', t, at)[0]
        controls.append(fields + (cls, text))
    return style, title, controls


def check_image(exe, arch, kind):
    sub = {'gui': 2, 'console': 3}[kind]
    yield exe['machine'] == {'i686': 0x14C, 'x86_64': 0x8664}[arch], 'machine %#x is not %s' % (exe['machine'], arch)
    yield exe['wide'] == (arch == 'x86_64'), 'optional header of the wrong width'
    yield exe['subsystem'] == sub, 'subsystem %d, not a %s program' % (exe['subsystem'], kind)
    yield exe['dll_flags'] & 0x40, 'address-space randomisation (DYNAMIC_BASE) is off'
    yield exe['dll_flags'] & 0x100, 'no-execute data (NX_COMPAT) is off'
    for name, *_, flags in exe['sections']:
        yield not (flags & 0x20000000 and flags & 0x80000000), 'section %s is writable and executable' % name
    for dll in exe['imports']:
        yield dll in SYSTEM_DLLS, 'imports %s, not part of Windows' % dll


def check_resources(exe):
    """What windres gets wrong unless told exactly, and what the program relies on."""
    _, _, controls = dialog(exe['resources'][(RT_DIALOG, 103)])
    icon = [c for c in controls if c[5] == 2]
    yield icon and icon[0][3:5] == (20, 20), 'the About icon control is not 20 x 20 units: %s' % icon
    for c in controls:
        yield c[6] != '#130' or c[5] == 2 or c[0] & 0x20000, 'About static %r lacks WS_GROUP' % c[7]
    pictures = [exe['resources'].get((RT_BITMAP, n)) for n in list(range(1, 41)) + [200]]
    yield all(pictures), 'card bitmaps missing'
    tables = {dib(p)[2] for p in pictures if p}
    yield len(tables) == 1, 'the 41 bitmaps use %d colour tables, not one' % len(tables)
    wave = exe['resources'].get(('WAVE', 175), b'')
    yield wave[12:20] == b'fmt \x10\0\0\0', 'WAVE 175 has no 16-byte format chunk: %r' % wave[12:20]


def main(args):
    exe = load(args[0])
    checks = check_resources(exe) if args[1:] == ['resources'] else check_image(exe, args[1], args[2])
    failures = [message for ok, message in checks if not ok]
    print('%s: imports %s' % (args[0], ' '.join(exe['imports'])))
    for message in failures:
        print('FAILED: ' + message)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
