#!/bin/bash
# Starts the game from dist/ under Wine on a Linux desktop, with its music
# audible where the machine can sound it.
# Usage: play.sh PREFIX   (a Wine prefix made by wine-prefix.sh ... desktop)
#
# The game plays Orv2000.mid through Windows' MIDI sequencer. Under Wine that
# reaches an ALSA sequencer port; a desktop has no synthesiser behind one
# unless something provides it. So, where the ALSA sequencer exists
# (/dev/snd/seq) and FluidSynth with the General MIDI soundfont is installed,
# this starts FluidSynth as a sequencer client (unless one already runs),
# waits for its port, makes that port the MIDI mapper's instrument in the
# prefix, runs the game, and stops the FluidSynth it started when the game
# ends. Without them the game runs silent; the move sound does not need them.
set -u
prefix=$1
root=$(cd "$(dirname "$0")/.." && pwd)
wine=/usr/lib/wine/wine
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
clients=/proc/asound/seq/clients
mapper_key='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Multimedia\MIDIMap'

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

synth_pid=""
stop_synth() {
    if [ -n "$synth_pid" ]; then
        kill "$synth_pid" 2>/dev/null
        wait "$synth_pid" 2>/dev/null
    fi
}
trap stop_synth EXIT
trap 'exit 130' INT TERM

# The name Wine gives a sequencer port, from /proc/asound/seq/clients:
# "client - port" when that fits in 31 characters, else the port name cut to
# 31. Argument: the start of the client's name. Prints nothing if not found.
wine_port_name() {
    awk -v want="$1" '
        /^Client +[0-9]+ : "/ {
            split($0, q, "\""); client = q[2]; mine = (index(client, want) == 1); next }
        mine && /^  Port +[0-9]+ : "/ && !done {
            split($0, q, "\""); port = q[2]
            # Only a port that accepts events: W among its flags, "(-We-)".
            if (!match($0, /\([^()]*\)$/) || substr($0, RSTART, RLENGTH) !~ /W/) next
            name = client " - " port
            if (length(name) > 31) name = substr(port, 1, 31)
            print name; done = 1 }' "$clients" 2>/dev/null
}

# Without a sound card Wine's sound driver would only print the sound
# library's errors (a screenful); the game runs without one, silently.
instrument=""
audio=alsa
if ! grep -q '^ *[0-9]' /proc/asound/cards 2>/dev/null; then
    echo "play: no sound card: the game runs silently." >&2
    audio=""
elif [ ! -e /dev/snd/seq ]; then
    echo "play: no ALSA sequencer (/dev/snd/seq): the music stays silent." >&2
elif ! command -v fluidsynth >/dev/null 2>&1 || [ ! -f "$soundfont" ]; then
    echo "play: fluidsynth or fluid-soundfont-gm is missing (make deps installs them): the music stays silent." >&2
else
    if ! pgrep -x fluidsynth >/dev/null 2>&1; then
        fluidsynth -a alsa -m alsa_seq -i -s "$soundfont" </dev/null >/dev/null 2>&1 &
        synth_pid=$!
        synth_client="FLUID Synth ($synth_pid)"
    else
        synth_client="FLUID Synth"
    fi
    # Loading the soundfont takes a moment; the port appears after it
    # (waits up to 30 seconds).
    for _ in $(seq 300); do
        instrument=$(wine_port_name "$synth_client")
        [ -n "$instrument" ] && break
        if [ -n "$synth_pid" ] && ! kill -0 "$synth_pid" 2>/dev/null; then
            synth_pid=""
            break
        fi
        sleep 0.1
    done
    if [ -n "$instrument" ]; then
        echo "play: music through FluidSynth ($instrument)"
    else
        echo "play: FluidSynth offers no sequencer port: the music stays silent." >&2
        stop_synth
        synth_pid=""
    fi
fi

# Settings of the prefix, written at every start in one registry import:
# - The MIDI mapper plays to the port named as its instrument; without a name
#   it takes the first port, on most machines ALSA's silent "Midi Through".
# - Wine's sound driver: ALSA, or none without a sound card.
# - "Regole del gioco" opens orv2000.htm by its file type. The prefix is made
#   without Wine's HTML engine, which is what would register .htm and .html;
#   registered as "htmlfile", they open through winebrowser, which hands the
#   page to xdg-open and so to the desktop's browser.
settings=$(mktemp --suffix=.reg)
{
    printf 'REGEDIT4\n\n'
    printf '[HKEY_CLASSES_ROOT\\.htm]\n@="htmlfile"\n\n'
    printf '[HKEY_CLASSES_ROOT\\.html]\n@="htmlfile"\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Audio"="%s"\n\n' "$audio"
    printf '[%s]\n' "$mapper_key"
    if [ -n "$instrument" ]; then
        escaped=$(printf '%s' "$instrument" | sed 's/[\\"]/\\&/g')
        printf '"CurrentInstrument"="%s"\n' "$escaped"
    else
        printf '"CurrentInstrument"=-\n'
    fi
} > "$settings"
regedit_wine=/usr/lib/wine/wine64
[ -x "$regedit_wine" ] || regedit_wine=$wine
"$regedit_wine" regedit /S "Z:$(printf '%s' "$settings" | tr / '\\')" >/dev/null 2>&1
rm -f "$settings"

cd "$root/dist" || exit 1
"$wine" orv2000.exe
