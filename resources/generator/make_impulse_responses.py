#!/usr/bin/env python3
"""Writes the five impulse responses that the convolution reverb chooses between.

They are synthetic stand-ins: decaying stereo noise with a few early reflections, shaped to
suggest each space. The output depends only on this script (its own random generator, integer
arithmetic for the samples), so every build host produces the same bytes.

Usage: make_impulse_responses.py OUTPUT_FOLDER
"""

import struct
import sys
from pathlib import Path

SAMPLE_RATE = 44100
CHANNELS = 2
BYTES_PER_SAMPLE = 3
FULL_SCALE = (1 << 23) - 1


class XorShift32:
    """Marsaglia's xorshift generator; fixed here so no library version changes the output."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next_bipolar(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 2147483648.0 - 1.0


# name, file name, frames, decay time in seconds (to -60 dB), brightness 0..1 (one-pole low-pass
# coefficient), pre-delay in ms, early reflections as (delay ms, gain) pairs, seed
SPACES = [
    ("Large Church.aif", 175356, 3.6, 0.35, 28, [(31, 0.45), (47, 0.35), (66, 0.3), (89, 0.25)], 0x1D0C4A11),
    ("Large Hall.aif", 133403, 2.7, 0.5, 20, [(19, 0.5), (33, 0.4), (52, 0.3)], 0x4A11B00C),
    ("Large Plate.aif", 135545, 2.8, 0.85, 0, [], 0x91A7E5E7),
    ("Large Room.aif", 68954, 1.2, 0.6, 6, [(7, 0.6), (13, 0.45), (21, 0.3)], 0x0000B00F),
    ("Space4ArtGallery.wav", 73768, 1.4, 0.7, 9, [(11, 0.55), (17, 0.4), (29, 0.3), (41, 0.2)], 0x6A11E27),
]


LN_ONE_THOUSANDTH = -6.907755278982137


def exp_small(x):
    """e^x by its series; only + and * on doubles, which round the same everywhere (unlike libm)."""
    term, total = 1.0, 1.0
    for k in range(1, 12):
        term *= x / k
        total += term
    return total


def render(frames, decay_seconds, brightness, predelay_ms, reflections, seed):
    """Returns interleaved signed 24-bit integers."""
    rng = XorShift32(seed)
    decay_per_frame = exp_small(LN_ONE_THOUSANDTH / (decay_seconds * SAMPLE_RATE))
    predelay = predelay_ms * SAMPLE_RATE // 1000
    taps = {ms * SAMPLE_RATE // 1000 + predelay: gain for ms, gain in reflections}
    fade_start = frames - SAMPLE_RATE // 20

    out = []
    low = [0.0, 0.0]
    envelope = 0.5
    for n in range(frames):
        for c in range(CHANNELS):
            value = 0.0
            if n == 0:
                value = 0.9
            elif n >= predelay:
                noise = rng.next_bipolar()
                low[c] += brightness * (noise - low[c])
                value = low[c] * envelope
            if n in taps:
                value += taps[n] * (1.0 if c == 0 else -0.8)
            if n >= fade_start:
                value *= (frames - n) / (frames - fade_start)
            out.append(max(-FULL_SCALE, min(FULL_SCALE, int(round(value * FULL_SCALE)))))
        if n >= predelay:
            envelope *= decay_per_frame
    return out


def pack_samples(samples, byteorder):
    data = bytearray(len(samples) * BYTES_PER_SAMPLE)
    for i, s in enumerate(samples):
        data[i * 3:i * 3 + 3] = (s & 0xFFFFFF).to_bytes(3, byteorder)
    return bytes(data)


def extended80(value):
    """IEEE 754 80-bit extended, big-endian, for a positive integer sample rate."""
    exponent = value.bit_length() - 1
    mantissa = value << (63 - exponent)
    return struct.pack(">HQ", 16383 + exponent, mantissa)


def aiff(frames, samples):
    sound = pack_samples(samples, "big")
    comm = struct.pack(">hIh", CHANNELS, frames, BYTES_PER_SAMPLE * 8) + extended80(SAMPLE_RATE)
    ssnd = struct.pack(">II", 0, 0) + sound
    body = b"AIFF" + b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    return b"FORM" + struct.pack(">I", len(body)) + body


def wav(frames, samples):
    sound = pack_samples(samples, "little")
    block_align = CHANNELS * BYTES_PER_SAMPLE
    fmt = struct.pack("<HHIIHH", 1, CHANNELS, SAMPLE_RATE, SAMPLE_RATE * block_align, block_align, BYTES_PER_SAMPLE * 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(sound)) + sound
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_impulse_responses.py OUTPUT_FOLDER")

    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)

    for file_name, frames, decay, brightness, predelay, reflections, seed in SPACES:
        samples = render(frames, decay, brightness, predelay, reflections, seed)
        data = aiff(frames, samples) if file_name.endswith(".aif") else wav(frames, samples)
        target = folder / file_name
        if not target.exists() or target.read_bytes() != data:
            target.write_bytes(data)


if __name__ == "__main__":
    main()
