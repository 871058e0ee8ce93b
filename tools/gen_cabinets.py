#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Generates Vorla's built-in speaker cabinets in resources/cabinets.

    /usr/bin/python3 tools/gen_cabinets.py [OUTPUT_DIR]

Needs numpy (Debian: python3-numpy).  The output is deterministic.  Nothing
here comes from a recording: each cabinet is a physical sketch, turned into a
magnitude response, made minimum-phase and written as a 48 kHz, 24-bit mono
WAV of 8192 samples (170 ms).  vorla-live and vorla-render resample it to the
host's rate and level it (src/rig/impulse_response.h), so the level written
here does not matter; it is peak-normalised to -1 dBFS.

The sketch, one factor of the magnitude each:

  Speaker in its box (the low end).  A cone on its suspension is a
  second-order high-pass at its resonance.  In a closed box the trapped air
  stiffens the suspension: the resonance rises (fc) and its Q rises with it
  (Qtc near 1 gives the tight "thump" of a closed 4x12).  An open back lets
  the rear wave round the baffle and cancel the front one at low frequencies:
  a dipole, one more first-order high-pass at about c / (2 pi D) for a
  baffle path D, so an open combo sounds lighter in the bass.

  Cone break-up (the upper mids).  Above a few hundred hertz the paper cone
  stops moving as a piston: rings of it resonate.  Modelled as a few peaks
  (and a dip between them) from 1 to 4 kHz, whose heights depend on where the
  microphone looks at the cone.

  Mass roll-off (the top).  Above break-up the cone's mass wins: a fourth-
  order low-pass.  On the dust cap the microphone hears the most treble; off
  the axis, towards the cone's edge, the beam narrows it away: the corner
  frequency falls from about 6 kHz (cap) to 4 kHz (edge).

  Box (closed cabinets).  Standing waves between the baffle and the back
  panel of depth d: a gentle comb, 1 + a cos(2 pi f 2d / c), fading above
  1 kHz where the lining absorbs them.

  Room behind an open back.  The rear wave reflects from the wall behind the
  combo and returns late and weaker: a comb with the wall's delay, fading
  with frequency.

  Microphone.  A cardioid close to the cone adds its proximity bass boost: a
  low shelf of a few dB below about 150 Hz.

The magnitude is built on a 32768-point grid, made minimum-phase through its
real cepstrum (folding the cepstrum onto positive time), brought back to the
time domain and shortened with a half-Hann fade over its last 20 ms.
"""

import math
import os
import struct
import sys
import wave

import numpy as np

RATE = 48000
LENGTH = 8192
GRID = 32768
SPEED_OF_SOUND = 343.0

CABINETS = {
    # name: parameters of the sketch
    "open-1x12": dict(fc=95.0, q=0.75, dipole_d=0.45, breakup=[(1200, 1.5, 1.8), (2600, 4.5, 3.0),
                      (3400, -3.0, 4.0), (4100, 3.0, 4.0)], top=5800.0, depth=None, wall=0.5,
                      proximity=2.0),
    "closed-2x12": dict(fc=105.0, q=1.0, dipole_d=None, breakup=[(1000, 1.0, 1.5), (2200, 4.0, 2.5),
                        (3000, -2.5, 4.0), (3700, 3.5, 3.5)], top=5000.0, depth=0.28, wall=None,
                        proximity=3.0),
    "closed-4x12": dict(fc=85.0, q=1.15, dipole_d=None, breakup=[(900, 1.5, 1.4), (2000, 3.5, 2.5),
                        (2800, -3.5, 3.5), (3500, 4.0, 3.0)], top=4300.0, depth=0.36, wall=None,
                        proximity=3.5),
}


def highpass2(f, fc, q):
    x = f / fc
    return x * x / np.sqrt((1.0 - x * x) ** 2 + (x / q) ** 2)


def highpass1(f, fc):
    x = f / fc
    return x / np.sqrt(1.0 + x * x)


def lowpass4(f, fc):
    return 1.0 / np.sqrt(1.0 + (f / fc) ** 8)


def peak(f, f0, gain_db, q):
    """Magnitude of a resonance: gain_db at f0, bandwidth f0 / q, 0 dB far away."""
    g = 10.0 ** (gain_db / 20.0)
    x = f / f0 - f0 / np.maximum(f, 1e-9)
    return 1.0 + (g - 1.0) / (1.0 + (q * x) ** 2)


def low_shelf(f, corner, gain_db):
    g = 10.0 ** (gain_db / 20.0)
    return 1.0 + (g - 1.0) / (1.0 + (f / corner) ** 2)


def magnitude(f, p):
    m = highpass2(f, p["fc"], p["q"])
    if p["dipole_d"]:
        m = m * highpass1(f, SPEED_OF_SOUND / (2.0 * math.pi * p["dipole_d"]))
    for f0, gain_db, q in p["breakup"]:
        m = m * peak(f, f0, gain_db, q)
    m = m * lowpass4(f, p["top"]) * lowpass4(f, 2.2 * p["top"])
    if p["depth"]:
        fade = 1.0 / (1.0 + (f / 1000.0) ** 2)
        m = m * (1.0 + 0.18 * fade * np.cos(2.0 * math.pi * f * 2.0 * p["depth"] / SPEED_OF_SOUND))
    if p["wall"]:
        fade = 1.0 / (1.0 + (f / 800.0) ** 2)
        m = m * np.abs(1.0 - 0.3 * fade * np.exp(-2j * math.pi * f * 2.0 * p["wall"] / SPEED_OF_SOUND))
    m = m * low_shelf(f, 150.0, p["proximity"])
    return np.maximum(m, 1e-6)


def minimum_phase(mag_half):
    """Minimum-phase impulse response of a magnitude given on rfft bins."""
    full = np.concatenate([mag_half, mag_half[-2:0:-1]])
    cepstrum = np.fft.ifft(np.log(full)).real
    n = len(full)
    fold = np.zeros(n)
    fold[0] = cepstrum[0]
    fold[1 : n // 2] = 2.0 * cepstrum[1 : n // 2]
    fold[n // 2] = cepstrum[n // 2]
    return np.fft.ifft(np.exp(np.fft.fft(fold))).real


def make(p):
    f = np.fft.rfftfreq(GRID, 1.0 / RATE)
    f[0] = 1e-3
    ir = minimum_phase(magnitude(f, p))[:LENGTH]
    fade = int(0.020 * RATE)
    ir[-fade:] *= 0.5 * (1.0 + np.cos(np.linspace(0.0, math.pi, fade)))
    return ir / np.max(np.abs(ir)) * 10.0 ** (-1.0 / 20.0)


def write_wav(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(3)
        out.setframerate(RATE)
        ints = np.clip(np.round(samples * 8388607.0), -8388608, 8388607).astype(np.int64)
        data = bytearray()
        for v in ints:
            data += struct.pack("<i", int(v))[:3]
        out.writeframes(bytes(data))


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "cabinets")
    os.makedirs(out_dir, exist_ok=True)
    for name, p in CABINETS.items():
        write_wav(os.path.join(out_dir, name + ".wav"), make(p))
        print("wrote", os.path.join(out_dir, name + ".wav"))


if __name__ == "__main__":
    main()
