#!/usr/bin/env python3
"""The sample demo's music: a 40-second piece made by a tiny synthesiser.

Standard library only. Writes a 16-bit PCM WAV file (mono, 22.05 kHz, so
that 40 seconds stay under 2 MB); the player recognises the format from the
bytes, whatever the file is called.

Form, at 120 beats per minute (one bar = 4 beats = 2 seconds), over the
chord loop Am - F - C - G:
  beats  0-16  intro   pad fading in, a soft arpeggio opening up
  beats 16-32  build   bass, then hats, then kick; a snare roll into the drop
  beats 32-64  main    four-on-the-floor, snare, bass, pad, arpeggio, lead tune
  beats 64-80  outro   drums thin out, the arpeggio slows, a last chord rings

usage: make_music.py OUTPUT.wav
"""
import math
import random
import struct
import sys
import wave

RATE = 22050
BPM = 120.0
BEATS = 80
SECONDS_PER_BEAT = 60.0 / BPM
LENGTH = int((BEATS * SECONDS_PER_BEAT + 0.5) * RATE)  # half a second of tail

TABLE_SIZE = 2048
TABLE_MASK = TABLE_SIZE - 1


def frames(beat):
    return int(round(beat * SECONDS_PER_BEAT * RATE))


def midi_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def band_limited_table(harmonics):
    """One cycle of a waveform given as (harmonic, amplitude) pairs."""
    table = [0.0] * TABLE_SIZE
    for k, amp in harmonics:
        w = 2.0 * math.pi * k / TABLE_SIZE
        for i in range(TABLE_SIZE):
            table[i] += amp * math.sin(w * i)
    peak = max(abs(v) for v in table)
    return [v / peak for v in table]


# Each waveform comes in versions with fewer and fewer harmonics, and a note
# uses the richest one whose top harmonic stays below the Nyquist frequency:
# a high note from the full table would fold its harmonics back down as
# out-of-tune whistles.
HARMONIC_LIMITS = (24, 12, 6, 3, 1)
SHAPES = {
    "saw": lambda n: [(k, 1.0 / k) for k in range(1, n + 1)],
    "square": lambda n: [(k, 1.0 / k) for k in range(1, n + 1, 2)],
    "triangle": lambda n: [(k, (-1) ** ((k - 1) // 2) / (k * k)) for k in range(1, n + 1, 2)],
    "sine": lambda n: [(1, 1.0)],
}
TABLES = {(shape, n): band_limited_table(harmonics(n)) for shape, harmonics in SHAPES.items()
          for n in HARMONIC_LIMITS}
SAW, SQUARE, TRIANGLE, SINE = "saw", "square", "triangle", "sine"


def table_for(shape, hz):
    for n in HARMONIC_LIMITS:
        if n * hz < 0.45 * RATE:
            return TABLES[(shape, n)]
    return TABLES[(SINE, 1)]


def oscillator(shape, hz, n, vibrato=0.0):
    table = table_for(shape, hz * (1.0 + vibrato))
    step = hz * TABLE_SIZE / RATE
    out = [0.0] * n
    phase = random.random() * TABLE_SIZE
    if vibrato:
        wobble = 2.0 * math.pi * 5.5 / RATE
        for i in range(n):
            out[i] = table[int(phase) & TABLE_MASK]
            phase += step * (1.0 + vibrato * math.sin(wobble * i))
    else:
        for i in range(n):
            out[i] = table[int(phase) & TABLE_MASK]
            phase += step
    return out


def lowpass(samples, cutoff_hz):
    """One-pole low-pass, in place."""
    a = 1.0 - math.exp(-2.0 * math.pi * cutoff_hz / RATE)
    y = 0.0
    for i, x in enumerate(samples):
        y += a * (x - y)
        samples[i] = y
    return samples


def adsr(n, attack, decay, sustain, release):
    """Envelope of n frames; the release happens inside the n frames."""
    a, d, r = max(1, int(attack * RATE)), max(1, int(decay * RATE)), max(1, int(release * RATE))
    env = [0.0] * n
    hold_end = max(0, n - r)
    for i in range(n):
        if i < a:
            v = i / a
        elif i < a + d:
            v = 1.0 - (1.0 - sustain) * (i - a) / d
        else:
            v = sustain
        if i >= hold_end:
            v *= max(0.0, 1.0 - (i - hold_end) / r)
        env[i] = v
    return env


def add(bus, start, samples, gain):
    end = min(len(bus), start + len(samples))
    for i in range(max(0, start), end):
        bus[i] += samples[i - start] * gain


# ---------------------------------------------------------------- instruments

def pad_note(note, beats):
    n = frames(beats) + int(1.2 * RATE)
    hz = midi_hz(note)
    a = oscillator(SAW, hz * 0.997, n)
    b = oscillator(SAW, hz * 1.004, n)
    c = oscillator(TRIANGLE, hz * 0.5, n)
    mix = [0.4 * (x + y) + 0.3 * z for x, y, z in zip(a, b, c)]
    lowpass(mix, 1400.0)
    env = adsr(n, 0.6, 0.5, 0.8, 1.2)
    return [x * e for x, e in zip(mix, env)]


def pluck(note, brightness):
    n = int(0.45 * RATE)
    tone = oscillator(SQUARE, midi_hz(note), n)
    lowpass(tone, 600.0 + 3400.0 * brightness)
    decay = 9.0
    return [x * math.exp(-decay * i / RATE) for i, x in enumerate(tone)]


def bass_note(note, beats):
    n = frames(beats)
    hz = midi_hz(note)
    body = oscillator(SINE, hz, n)
    edge = lowpass(oscillator(SAW, hz, n), 500.0)
    env = adsr(n, 0.004, 0.15, 0.6, 0.05)
    return [(0.8 * x + 0.5 * y) * e for x, y, e in zip(body, edge, env)]


def lead_note(note, beats):
    n = frames(beats) + int(0.1 * RATE)
    tone = oscillator(TRIANGLE, midi_hz(note), n, vibrato=0.004)
    sq = lowpass(oscillator(SQUARE, midi_hz(note), n), 2200.0)
    env = adsr(n, 0.02, 0.2, 0.7, 0.12)
    return [(0.7 * x + 0.25 * y) * e for x, y, e in zip(tone, sq, env)]


def kick():
    n = int(0.42 * RATE)
    out = [0.0] * n
    phase = 0.0
    for i in range(n):
        t = i / RATE
        phase += 2.0 * math.pi * (44.0 + 110.0 * math.exp(-t * 28.0)) / RATE
        out[i] = math.sin(phase) * math.exp(-t * 7.0) + (0.3 * math.exp(-t * 300.0))
    return out


def noise(n, rng):
    return [rng.uniform(-1.0, 1.0) for _ in range(n)]


def snare(rng):
    n = int(0.25 * RATE)
    hiss = noise(n, rng)
    smooth = lowpass(list(hiss), 1800.0)
    out = [0.0] * n
    phase = 0.0
    for i in range(n):
        t = i / RATE
        phase += 2.0 * math.pi * 190.0 / RATE
        out[i] = (0.7 * (hiss[i] - 0.5 * smooth[i]) * math.exp(-t * 16.0) +
                  0.5 * math.sin(phase) * math.exp(-t * 30.0))
    return out


def hat(rng, open_hat=False):
    n = int((0.3 if open_hat else 0.06) * RATE)
    hiss = noise(n, rng)
    smooth = lowpass(list(hiss), 6000.0)
    decay = 14.0 if open_hat else 70.0
    return [(x - s) * math.exp(-decay * i / RATE) for i, (x, s) in enumerate(zip(hiss, smooth))]


def riser(beats, rng):
    n = frames(beats)
    hiss = noise(n, rng)
    out = [0.0] * n
    y = 0.0
    for i in range(n):
        p = i / n
        a = 1.0 - math.exp(-2.0 * math.pi * (300.0 + 5000.0 * p * p) / RATE)
        y += a * (hiss[i] - y)
        out[i] = y * p * p
    return out


# ---------------------------------------------------------------- score

# One chord per bar: pad voicing and bass root.
CHORDS = [
    ([57, 60, 64, 67], 33),  # Am7
    ([57, 60, 64, 65], 29),  # Fmaj7
    ([55, 60, 64, 67], 36),  # C
    ([55, 59, 62, 67], 31),  # G
]

# The tune of the main part: (beat within the part, MIDI note, length in beats).
LEAD = [
    (0, 69, 1), (1, 72, 0.5), (1.5, 76, 1.5), (3, 74, 0.5), (3.5, 72, 0.5),
    (4, 72, 1), (5, 69, 1), (6, 72, 0.5), (6.5, 74, 1.5),
    (8, 76, 1), (9, 79, 0.5), (9.5, 76, 1), (10.5, 74, 0.5), (11, 72, 1),
    (12, 71, 1.5), (13.5, 74, 0.5), (14, 67, 2),
    (16, 76, 1), (17, 81, 1), (18, 79, 0.5), (18.5, 76, 1.5),
    (20, 77, 1), (21, 76, 0.5), (21.5, 72, 1), (22.5, 69, 1.5),
    (24, 67, 0.5), (24.5, 72, 0.5), (25, 76, 1), (26, 74, 1), (27, 72, 1),
    (28, 71, 1), (29, 74, 1), (30, 76, 2),
]

ARP_ORDER = [0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 2, 3]


def chord_at(beat):
    return CHORDS[int(beat // 4) % len(CHORDS)]


def compose():
    rng = random.Random(20240611)
    random.seed(7)
    pads = [0.0] * LENGTH
    keys = [0.0] * LENGTH   # arpeggio and lead, sent through the echo
    low = [0.0] * LENGTH    # bass
    drums = [0.0] * LENGTH
    kicks = []

    # Pad: every bar, fading in over the intro and out at the end.
    for bar in range(BEATS // 4):
        beat = bar * 4
        voicing, _ = chord_at(beat)
        level = 0.11 if beat >= 16 else 0.07 + 0.04 * beat / 16
        if beat >= 76:
            voicing = CHORDS[0][0]
        for note in voicing:
            add(pads, frames(beat), pad_note(note, 4), level)

    # Arpeggio in sixteenths over two octaves of the chord; eighths in the outro.
    sixteenth = 0.25
    step = 0
    beat = 0.0
    while beat < 76:
        voicing, _ = chord_at(beat)
        tones = voicing + [n + 12 for n in voicing]
        note = tones[ARP_ORDER[step % len(ARP_ORDER)]] + 12
        brightness = min(1.0, beat / 32.0)
        level = 0.05 + 0.05 * brightness
        if beat >= 64:
            level *= 1.0 - (beat - 64) / 14.0
        if beat < 64 or step % 2 == 0:
            add(keys, frames(beat), pluck(note, brightness), level)
        step += 1
        beat += sixteenth

    # Bass: eighths on the root with an octave jump, from the build to the outro.
    for i in range(int((72 - 16) / 0.5)):
        beat = 16 + i * 0.5
        _, root = chord_at(beat)
        note = root + (12 if i % 4 == 3 else 0)
        level = 0.32 if beat >= 32 else 0.22
        add(low, frames(beat), bass_note(note + 12, 0.45), level)

    # Lead tune in the main part.
    for start, note, length in LEAD:
        add(keys, frames(32 + start), lead_note(note, length), 0.16)

    # Drums.
    def hit(beat, sound, level):
        add(drums, frames(beat), sound, level)

    kick_sound = kick()
    for b in range(24, 72):
        if 28 <= b < 32 and b % 2 == 1:
            continue  # leave room for the roll
        level = 0.9 if b < 64 else 0.9 * (72 - b) / 8
        hit(b, kick_sound, level)
        kicks.append(frames(b))
    for b in range(32, 64):
        if b % 2 == 1:
            hit(b, snare(rng), 0.45)
    for i in range(16):  # the roll into the main part, getting louder
        hit(28 + i * 0.25, snare(rng), 0.1 + 0.3 * i / 16)
    for i in range(int((68 - 20) / 0.5)):
        beat = 20 + i * 0.5
        offbeat = i % 2 == 1
        if beat >= 32 and offbeat and int(beat) % 4 == 3:
            hit(beat, hat(rng, open_hat=True), 0.12)
        else:
            hit(beat, hat(rng), 0.14 if offbeat else 0.07)
    add(drums, frames(28), riser(4, rng), 0.25)
    add(drums, frames(12), riser(4, rng), 0.12)

    # Sidechain: the pad and the bass duck under each kick.
    duck = [1.0] * LENGTH
    for start in kicks:
        for i in range(min(int(0.4 * RATE), LENGTH - start)):
            duck[start + i] = min(duck[start + i], 1.0 - 0.55 * math.exp(-i / RATE * 9.0))

    # Echo on the keys: three sixteenths, fed back.
    delay = frames(0.75)
    echo = list(keys)
    for i in range(delay, LENGTH):
        echo[i] += 0.38 * echo[i - delay]

    mix = [p * d + 0.8 * k + 0.35 * (e - k) + b * d + dr
           for p, k, e, b, dr, d in zip(pads, keys, echo, low, drums, duck)]
    # Fade the last two beats, then a gentle saturation and normalisation.
    fade_start = frames(78)
    for i in range(fade_start, LENGTH):
        mix[i] *= max(0.0, 1.0 - (i - fade_start) / (LENGTH - fade_start))
    mix = [math.tanh(1.3 * x) for x in mix]
    peak = max(1e-9, max(abs(x) for x in mix))
    return [x * 0.9 / peak for x in mix]


def write_wav(path, samples):
    data = struct.pack("<%dh" % len(samples), *(int(round(s * 32767)) for s in samples))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_music.py OUTPUT.wav\n")
        return 2
    write_wav(sys.argv[1], compose())
    return 0


if __name__ == "__main__":
    sys.exit(main())
