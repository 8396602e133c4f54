#!/usr/bin/env python3
"""Writes the program's sounds (resources/sounds/*.wav): short synthesised tones, 8 kHz, 8-bit
mono, so the repository carries no recordings from elsewhere. Run again after changing a tone."""
import math
import os
import struct
import wave

RATE = 8000
HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "sounds")


def tone(freqs, seconds, volume=0.45, attack=0.01, release=0.05):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        env = min(1.0, t / attack, (seconds - t) / release) if seconds > t else 0.0
        v = sum(math.sin(2 * math.pi * f * t) for f in freqs) / len(freqs)
        out.append(volume * max(env, 0.0) * v)
    return out


def bell(freq, seconds, volume=0.5):
    n = int(RATE * seconds)
    return [volume * math.exp(-5 * i / n) * (math.sin(2 * math.pi * freq * i / RATE) +
            0.4 * math.sin(2 * math.pi * 2.76 * freq * i / RATE)) / 1.4 for i in range(n)]


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def write(name, samples):
    with wave.open(os.path.join(HERE, name), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(1)
        w.setframerate(RATE)
        w.writeframes(bytes(max(0, min(255, int(round(128 + 127 * s)))) for s in samples))


os.makedirs(HERE, exist_ok=True)
ring = []
for _ in range(2):
    for _ in range(10):
        ring += tone([440, 480], 0.05, attack=0.005, release=0.005)
    ring += silence(0.3)
write("ringin.wav", ring)
write("discon.wav", tone([620], 0.18) + silence(0.04) + tone([480], 0.18) + silence(0.04) +
      tone([350], 0.3))
write("inmsg.wav", bell(880, 0.35) + bell(1175, 0.6))
write("chatbell.wav", bell(1320, 0.5))
