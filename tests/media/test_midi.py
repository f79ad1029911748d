#!/usr/bin/python3
"""Writes the short piece the media tests play in place of the game's music:
a standard MIDI file (format 0, 480 ticks per quarter note, 120 beats per
minute) with one note per quarter note on a piano, the last note ending
exactly at the end of the piece (2 seconds unless told otherwise).

Usage: test_midi.py OUT.mid [SECONDS]"""
import struct
import sys

DIVISION = 480            # ticks per quarter note
TEMPO = 500000            # microseconds per quarter note: 120 beats per minute
NOTES = (60, 64, 67, 72)  # C, E, G, C


def variable_length(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def piece(seconds=2.0):
    """The file's bytes: as many quarter notes as fit in `seconds`."""
    quarters = max(1, round(seconds * 1000000 / TEMPO))
    events = [
        (0, b'\xff\x51\x03' + TEMPO.to_bytes(3, 'big')),
        (0, b'\xff\x58\x04\x04\x02\x18\x08'),  # 4/4
        (0, b'\xc0\x00'),                      # programme 1: piano
    ]
    for n in range(quarters):
        note = NOTES[n % len(NOTES)]
        events.append((0, bytes((0x90, note, 100))))
        events.append((DIVISION, bytes((0x80, note, 0))))
    events.append((0, b'\xff\x2f\x00'))
    track = b''.join(variable_length(delta) + data for delta, data in events)
    header = b'MThd' + struct.pack('>IHHH', 6, 0, 1, DIVISION)
    return header + b'MTrk' + struct.pack('>I', len(track)) + track


def duration_seconds(seconds=2.0):
    """How long the piece written for `seconds` lasts, by its tempo."""
    return max(1, round(seconds * 1000000 / TEMPO)) * TEMPO / 1000000


def main():
    out = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 2.0
    with open(out, 'wb') as f:
        f.write(piece(seconds))


if __name__ == '__main__':
    main()
