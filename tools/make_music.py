#!/usr/bin/python3
"""Arrange the background music of Orvenna 2000: data/Orv2000.mid.

The tune is Santa Lucia, the Neapolitan barcarola published by Teodoro
Cottrau in 1849 (public domain). Its melody and chords are read from the note
list tools/santa_lucia.txt and arranged below for a few General MIDI
instruments: a plucked lead played in tremolo like a mandolin, an accordion,
a bass and, towards the end, a soft tambourine. The result is a Standard MIDI
File, format 1, one track per instrument after a tempo track; every run
writes the same bytes. Usage: make_music.py [--out DIR] (writes DIR/data/Orv2000.mid).
"""
import argparse
import os
import re
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
TICKS = 480                     # per quarter note
SIXTEENTH = TICKS // 4
EIGHTH = TICKS // 2
BAR = 3 * EIGHTH                # 3/8 time
TEMPO = 76                      # quarter notes a minute: a gently rocking boat
SLOWER = [72, 68, 64, 60, 56, 52]   # the last six eighths before the final chord

# How the sections follow one another, who plays the tune and who accompanies.
FORM = [
    # section    tune          accompaniment
    ('intro',    None,         ['accordion', 'bass']),
    ('verse',    'mandolin',   ['accordion', 'bass']),
    ('verse',    'mandolin',   ['accordion', 'bass']),
    ('refrain',  'mandolin',   ['accordion', 'bass']),
    ('refrain',  'mandolin',   ['accordion', 'bass']),
    ('verse',    'accordion',  ['mandolin', 'bass']),
    ('refrain',  'accordion',  ['mandolin', 'bass']),
    ('refrain',  'mandolin',   ['accordion', 'bass', 'tambourine']),
    ('coda',     'mandolin',   ['accordion', 'bass', 'tambourine']),
]

# General MIDI instruments: (track name, channel, program, volume, pan, reverb)
INSTRUMENTS = {
    'mandolin': ('Mandolino', 0, 25, 100, 76, 48),      # steel-string guitar, plucked in tremolo
    'accordion': ('Fisarmonica', 1, 21, 84, 50, 40),
    'bass': ('Contrabbasso', 2, 32, 96, 64, 20),
    'tambourine': ('Tamburello', 9, 0, 70, 60, 30),
}
TAMBOURINE = 54                 # General MIDI percussion key

NOTE_NAMES = {'C': 0, 'D': 2, 'E': 4, 'F': 5, 'G': 7, 'A': 9, 'B': 11}
CHORD_KINDS = {'': (0, 4, 7), 'm': (0, 3, 7), '7': (0, 4, 7, 10), 'm7': (0, 3, 7, 10)}


def pitch(name):
    """MIDI key of a note name such as C4 (middle C, 60), Bb4 or F#3."""
    m = re.fullmatch(r'([A-G])([#b]?)(-?\d)', name)
    if not m:
        raise ValueError('bad note name: ' + name)
    return 12 * (int(m.group(3)) + 1) + NOTE_NAMES[m.group(1)] + {'': 0, '#': 1, 'b': -1}[m.group(2)]


def chord(name):
    """(root pitch class, pitch classes) of a chord name such as C, Am, G7, Bb."""
    m = re.fullmatch(r'([A-G][#b]?)(m7|m|7|)', name)
    if not m:
        raise ValueError('bad chord name: ' + name)
    root = pitch(m.group(1) + '4') % 12
    return root, [(root + step) % 12 for step in CHORD_KINDS[m.group(2)]]


def read_tune(path):
    """Sections of bars; a bar is (three chord names, one an eighth; notes as (key or None, sixteenths))."""
    sections, current = {}, None
    with open(path, encoding='utf-8') as f:
        for number, text in enumerate(f, 1):
            text = text.split('#')[0].strip()
            if not text:
                continue
            if text.startswith('['):
                current = sections.setdefault(text.strip('[]'), [])
                continue
            chords, notes = (part.split() for part in text.split('|'))
            if len(chords) == 1:
                chords *= 3
            for k in range(1, 3):
                if chords[k] == '.':
                    chords[k] = chords[k - 1]
            bar = []
            for token in notes:
                name, length = token.split(':')
                bar.append((None if name == 'r' else pitch(name), int(length)))
            if len(chords) != 3 or sum(n for _, n in bar) != 6:
                raise ValueError('%s:%d: a bar needs 1 or 3 chords and notes adding up to 6 sixteenths' % (path, number))
            current.append((chords, bar))
    return sections


def voicing(chord_name, low, high):
    """The chord's notes, each once, between keys low and high (high excluded)."""
    _, classes = chord(chord_name)
    return sorted(k for k in range(low, high) if k % 12 in classes)


class Track:
    def __init__(self, name):
        self.name, self.events = name, []      # (tick, order, bytes): offs sort before ons

    def note(self, tick, channel, key, length, velocity):
        self.events.append((tick, 1, bytes([0x90 | channel, key, velocity])))
        self.events.append((tick + length, 0, bytes([0x80 | channel, key, 0])))

    def meta(self, tick, kind, data):
        self.events.append((tick, 2, bytes([0xFF, kind]) + vlq(len(data)) + data))

    def control(self, tick, channel, data):
        self.events.append((tick, 0, bytes([channel | data[0]]) + bytes(data[1:])))

    def chunk(self, end):
        body = bytes([0, 0xFF, 0x03]) + vlq(len(self.name)) + self.name.encode('ascii')
        now = 0
        for tick, _, data in sorted(self.events, key=lambda e: (e[0], e[1], e[2])):
            body += vlq(tick - now) + data
            now = tick
        body += vlq(end - now) + bytes([0xFF, 0x2F, 0])      # end of track
        return b'MTrk' + struct.pack('>I', len(body)) + body


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def play_tune(track, channel, start, bar, style, last):
    """One bar of the tune: the mandolin an octave up and in tremolo on its
    longer notes, the accordion legato as written."""
    tick = start
    for key, length in bar:
        ticks = length * SIXTEENTH
        if key is not None:
            key += 12 if style == 'mandolin' else 0
            accent = 8 if (tick - start) == 0 else 0
            if style == 'mandolin' and length >= 3 and not last:
                strokes = ticks // (SIXTEENTH // 2)
                for k in range(strokes):       # repeated thirty-seconds, the mandolin's tremolo
                    track.note(tick + k * SIXTEENTH // 2, channel, key, SIXTEENTH // 2 - 6,
                               78 + accent - 6 * (k % 2) + (4 if k == 0 else 0))
            elif style == 'mandolin':
                track.note(tick, channel, key, ticks - 20, 88 + accent)
            else:
                track.note(tick, channel, key, ticks - 10, 80 + accent)
        tick += ticks


def accompany(tracks, part, start, chords, previous, last):
    """One bar of accompaniment for three chords, one an eighth."""
    channel = INSTRUMENTS[part][1]
    track = tracks[part]
    if part == 'bass':
        root, classes = chord(chords[0])
        key = 36 + (root - 36) % 12
        if chords[0] == previous and len(classes) > 2:      # the same chord again: walk to its fifth
            key = 36 + (classes[2] - 36) % 12
        track.note(start, channel, key, BAR if last else 2 * EIGHTH - 30, 84)
        if chords[2] != chords[0] and not last:
            track.note(start + 2 * EIGHTH, channel, 36 + (chord(chords[2])[0] - 36) % 12, EIGHTH - 20, 76)
    elif part == 'accordion':
        if last:
            for key in voicing(chords[0], 53, 66):
                track.note(start, channel, key, BAR, 60)
            return
        for beat in (1, 2):
            for key in voicing(chords[beat], 53, 66):
                track.note(start + beat * EIGHTH, channel, key, EIGHTH - 40, 54 if beat == 1 else 48)
    elif part == 'mandolin':
        keys = voicing(chords[0], 48, 60)
        if last:
            for key in keys:
                track.note(start, channel, key, BAR, 64)
            return
        pattern = [keys[0], keys[1], keys[-1]]
        for beat in range(3):
            key = pattern[beat] if chords[beat] == chords[0] else voicing(chords[beat], 48, 60)[beat % 2]
            track.note(start + beat * EIGHTH, channel, key, EIGHTH - 20, 66 if beat == 0 else 56)
    elif part == 'tambourine':
        if not last:
            for beat, velocity in ((0, 44), (1, 30), (2, 34)):
                track.note(start + beat * EIGHTH, channel, TAMBOURINE, EIGHTH // 2, velocity)


def arrange(sections):
    tracks = {}
    for part, (name, channel, program, volume, pan, reverb) in INSTRUMENTS.items():
        t = tracks[part] = Track(name)
        if channel != 9:
            t.control(0, channel, [0xC0, program])
        for number, value in ((7, volume), (10, pan), (91, reverb), (93, 0)):
            t.control(0, channel, [0xB0, number, value])
    bars = [(bar, tune, parts) for section, tune, parts in FORM for bar in sections[section]]
    tick, previous = 0, None
    for n, ((chords, notes), tune, parts) in enumerate(bars):
        last = n == len(bars) - 1
        if tune:
            play_tune(tracks[tune], INSTRUMENTS[tune][1], tick, notes, tune, last)
        for part in parts:
            accompany(tracks, part, tick, chords, previous, last)
        previous = chords[2]
        tick += BAR
    # the last chord rings for a bar; all notes have ended before the tracks end
    end = tick + EIGHTH
    return tracks, tick - BAR, end


def tempo_track(final_bar):
    t = Track('Santa Lucia')
    t.meta(0, 0x01, b'Santa Lucia - barcarola napoletana (Teodoro Cottrau, 1849), pubblico dominio')
    t.meta(0, 0x58, bytes([3, 3, 36, 8]))           # 3/8, a click every dotted quarter
    t.meta(0, 0x59, bytes([0, 0]))                  # C major
    t.meta(0, 0x51, (60000000 // TEMPO).to_bytes(3, 'big'))
    for k, bpm in enumerate(SLOWER):                # slowing down into the final chord
        t.meta(final_bar - (len(SLOWER) - k) * EIGHTH, 0x51, (60000000 // bpm).to_bytes(3, 'big'))
    return t


def midi_bytes():
    sections = read_tune(os.path.join(HERE, 'santa_lucia.txt'))
    tracks, final_bar, end = arrange(sections)
    chunks = [tempo_track(final_bar).chunk(end)] + [tracks[p].chunk(end) for p in INSTRUMENTS]
    return b'MThd' + struct.pack('>IHHH', 6, 1, len(chunks), TICKS) + b''.join(chunks)


def main():
    parser = argparse.ArgumentParser(description='Arrange the background music.')
    parser.add_argument('--out', metavar='DIR', help='write DIR/data/Orv2000.mid instead of into this repository')
    args = parser.parse_args()
    root = args.out or os.path.join(HERE, '..')
    path = os.path.join(root, 'data', 'Orv2000.mid')
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(midi_bytes())


if __name__ == '__main__':
    main()
