#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A second, independent model of the amplifier's arithmetic.

Written straight from the circuit description (not from the C++), with
Python floats for the double-precision model, numpy float32 scalars for the
single-precision resamplers, and the same C library for sin, exp, tan and
pow.  It recomputes the mono golden files and reports every value that
differs:

    /usr/bin/python3 tests/chain/golden/reference_model.py            # all nine
    /usr/bin/python3 tests/chain/golden/reference_model.py crunch 4   # one

It is slow (pure Python) and exists only to check the goldens; the build and
the tests do not need it.
"""
import math
import os
import struct
import sys

import numpy as np

f32 = np.float32
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..', '..'))

TUBE = [tuple(float(v) for v in line.split())
        for line in open(os.path.join(ROOT, 'resources', 'tube_table.txt'))]
TWO_PI = 6.28319304

def lookup(x):
    if x <= -180.0: return TUBE[0][1]
    if x >= 180.0 or x != x: return TUBE[3999][1]
    i = int(math.floor(10.0 * x + 1999.0))
    t = (x - TUBE[i][0]) / (TUBE[i+1][0] - TUBE[i][0])
    ym, y0, y1, y2 = TUBE[i-1][1], TUBE[i][1], TUBE[i+1][1], TUBE[i+2][1]
    m0 = (y1 - ym) / 2; m1 = (y2 - y0) / 2
    a = 2 * (y0 - y1) + m0 + m1
    b = 3 * (y1 - y0) - 2 * m0 - m1
    return y0 + t * (m0 + t * (b + t * a))

CURVES = {
 'S1': [71.42421809676242,0.4086298284135495,-49.26634128668552,0.4417475706213798,20.76338922285656,0.1359605247790958,-2.614081288640218,0.026046184027046,0.2813164189029517,0.002051755709266653,-0.009204498022369742,6.513636667369788e-05,0.0001640065234981901],
 'S2': [117.0870805431241,-0.02513256917963978,-79.20651507234204,0.2296464343159335,27.8542183755586,0.06879313202908972,-3.490001363429806,0.01739836685347945,0.356716804972615,0.001453515303461296,-0.01143429622245191,4.978296368525056e-05,0.0002045677157867526],
 'S3': [113.6463655918881,-0.01742109662908865,-77.20779125702153,0.2141919317152052,26.66666578583706,0.0611321639256995,-3.355582190346414,0.01593667172994474,0.3348395801568758,0.001341177655714935,-0.01067114734140345,4.638071747726255e-05,0.0001880101628949561],
 'S4': [74.28788601722562,0.4094490099708854,-50.64489276706355,0.452728947736635,21.43262467976393,0.1385596458140827,-2.692469818589406,0.0258098725394709,0.288982432976921,0.001979468638827205,-0.009566888014018914,6.129651388255708e-05,0.0001698267403111727]}
SETS = {'S1': (68000,2200,5e-9,360,100000,252.9,470000,500000,2.2e-8),
        'S2': (68000,1800,1e-6,360,220000,208,2200000,330000,2.2e-8),
        'S3': (470000,1800,1e-6,350,100000,245.45,470000,1000000,2.2e-8),
        'S4': (220000,1800,1e-6,378,220000,197,0,2200000,2.2e-8)}

class Stage:
    def __init__(self, name, rate):
        Rg,Rk,Ck,Vb,Rp,Vp0,Ra,Rb,Cc = [float(v) for v in SETS[name]]
        self.Rg,self.Rk,self.Ck,self.Vb,self.Rp,self.Ra,self.Rb,self.Cc = Rg,Rk,Ck,Vb,Rp,Ra,Rb,Cc
        self.c = CURVES[name]
        self.F = Rg * 0.00375 + 1e-20
        self.halfInvF = 1 / (2 * self.F)
        Vp = Vp0
        for _ in range(10):
            Ip = (Vb - Vp) / (Rp + 1e-20)
            Vk = Rk * Ip
            Vp = Vp + 0.5 * (Vk + self.curve(-Vk) - Vp)
        self.Vp, self.Vk, self.Ip = Vp, Vk, Ip
        self.Vg = 0.0; self.Ig = 0.0; self.out = 0.0
        self.invRp = 1 / (Rp + 1e-20); self.invRg = 1 / (Rg + 1e-20)
        self.update(1 / rate)
    def update(self, T):
        self.cathodeCoef = T * self.Rk / (T + self.Rk * self.Ck)
        tau = (self.Ra + self.Rb) * self.Cc
        self.couplingCoef = tau / (tau + T)
    def curve(self, v):
        c = self.c
        num = ((((((c[12]*v + c[10])*v + c[8])*v + c[6])*v + c[4])*v + c[2])*v + c[0])
        den = ((((((c[11]*v + c[9])*v + c[7])*v + c[5])*v + c[3])*v + c[1])*v + 1.0)
        return num / den
    def step(self, x, fs):
        vk = self.Vk
        if x - vk >= 0:
            self.Vg = (math.sqrt(1 + 4 * self.F * (x - vk)) + 2 * self.F * vk - 1) * self.halfInvF
        else:
            self.Vg = x
        self.Ig = (x - self.Vg) * self.invRg
        v = self.Vg - vk
        vpk = self.Vb if v < -10 else self.curve(v)
        vpn = vpk + vk
        if vpn > self.Vb + vk: vpn = self.Vb + vk
        self.Ip = (self.Vb - vpn) * self.invRp
        self.out = self.couplingCoef * (self.out + vpn - self.Vp)
        self.Vp = vpn
        self.Vk = (self.Ip + self.Ig + self.Ck * vk * fs) * self.cathodeCoef
        if self.Vk <= 0: self.Vk = 0.0
        return self.out

class Biquad:
    def __init__(self, kind, f, Q, rate, g=None):
        K = math.tan(0.5 * TWO_PI * f / rate)
        K2 = K * K
        self.norm = 1 / (K2 + K / Q + 1); self.a1 = 2 * (K2 - 1); self.a2 = K2 - K / Q + 1
        self.x1 = self.x2 = self.y1 = self.y2 = 0.0
        if kind == 'lp': self.b = (K2, 2 * K2, K2)
        elif kind == 'ls':
            V = g; r = math.sqrt(2 * V)
            self.b = (V * K2 + r * K + 1, 2 * (V * K2 - 1), V * K2 - r * K + 1)
        elif kind == 'pk':
            G = g; self.b = (K2 + G * K / Q + 1, 2 * (K2 - 1), K2 - G * K / Q + 1)
        else:
            self.b = (1.0, -2.0, 1.0); self.x1 = self.x2 = -0.212997229504
    def step(self, x):
        b0, b1, b2 = self.b
        y = (b0 * x + b1 * self.x1 + b2 * self.x2 - self.a1 * self.y1 - self.a2 * self.y2) * self.norm
        self.x2 = self.x1; self.x1 = x; self.y2 = self.y1; self.y1 = y
        return y

class Tone:
    def __init__(self, rate):
        self.C1, self.C2, self.C3 = 4.7e-10, 2.2e-8, 2.2e-8
        self.R1, self.R2, self.R3, self.R4 = 250000.0, 1000000.0, 25000.0, 94000.0
        self.w = 2 * rate; self.w2 = self.w * self.w; self.w3 = self.w2 * self.w
        self.s = [0.0, 0.0, 0.0]; self.cache = (10.0, 10.0, 10.0, 10.0)
    def coeffs(self, low, mid, high, contour):
        C1,C2,C3,R1,R2,R3 = self.C1,self.C2,self.C3,self.R1,self.R2,self.R3
        t, m, k = high, mid, contour
        l = math.pow(10.0, 2 * (low - 1.001)); r4 = k * self.R4
        R3sq = R3 * R3; msq = m * m
        b1 = t*C1*R1 + m*C3*R3 + l*(C1*R2 + C2*R2) + (C1*R3 + C2*R3)
        b2 = (t*(C1*C2*R1*r4 + C1*C3*R1*r4) - msq*(C1*C3*R3sq + C2*C3*R3sq)
              + m*(C1*C3*R1*R3 + C1*C3*R3sq + C2*C3*R3sq) + l*(C1*C2*R1*R2 + C1*C2*R2*r4 + C1*C3*R2*r4)
              + l*m*(C1*C3*R2*R3 + C2*C3*R2*R3) + (C1*C2*R1*R3 + C1*C2*R3*r4 + C1*C3*R3*r4))
        b3 = (l*m*(C1*C2*C3*R1*R2*R3 + C1*C2*C3*R2*R3*r4) - msq*(C1*C2*C3*R1*R3sq + C1*C2*C3*R3sq*r4)
              + m*(C1*C2*C3*R1*R3sq + C1*C2*C3*R3sq*r4) + t*C1*C2*C3*R1*R3*r4
              - t*m*C1*C2*C3*R1*R3*r4 + t*l*C1*C2*C3*R1*R2*r4)
        a1 = (C1*R1 + C1*R3 + C2*R3 + C2*r4 + C3*r4) + m*C3*R3 + l*(C1*R2 + C2*R2)
        a2 = (m*(C1*C3*R1*R3 - C2*C3*R3*r4 + C1*C3*R3sq + C2*C3*R3sq) + l*m*(C1*C3*R2*R3 + C2*C3*R2*R3)
              - msq*(C1*C3*R3sq + C2*C3*R3sq)
              + l*(C1*C2*R2*r4 + C1*C2*R1*R2 + C1*C3*R2*r4 + C2*C3*R2*r4)
              + (C1*C2*R1*r4 + C1*C3*R1*r4 + C1*C2*R3*r4 + C1*C2*R1*R3 + C1*C3*R3*r4 + C2*C3*R3*r4))
        a3 = (l*m*(C1*C2*C3*R1*R2*R3 + C1*C2*C3*R2*R3*r4) - msq*(C1*C2*C3*R1*R3sq + C1*C2*C3*R3sq*r4)
              + m*(C1*C2*C3*R3sq*r4 + C1*C2*C3*R1*R3sq - C1*C2*C3*R1*R3*r4)
              + l*C1*C2*C3*R1*R2*r4 + C1*C2*C3*R1*R3*r4)
        w, w2, w3 = self.w, self.w2, self.w3
        B0 = -b1*w - b2*w2 - b3*w3; B1 = -b1*w + b2*w2 + 3*b3*w3
        B2 = b1*w + b2*w2 - 3*b3*w3; B3 = b1*w - b2*w2 + b3*w3
        A0 = -1 - a1*w - a2*w2 - a3*w3; A1 = -3 - a1*w + a2*w2 + 3*a3*w3
        A2 = -3 + a1*w + a2*w2 - 3*a3*w3; A3 = -1 + a1*w - a2*w2 + a3*w3
        self.k = (B0/A0, B1/A0, B2/A0, B3/A0, A1/A0, A2/A0, A3/A0)
    def step(self, x, ctl):
        if ctl != self.cache:
            self.cache = ctl; self.coeffs(*ctl)
        B0,B1,B2,B3,A1,A2,A3 = self.k
        s = self.s
        y = B0 * x + s[0]
        s[0] = B1 * x + s[1] - A1 * y
        s[1] = B2 * x + s[2] - A2 * y
        s[2] = B3 * x - A3 * y
        return y

H12 = [0.036681502163648017,0.13654762463195771,0.2746317593794541,0.42313861743656667,0.5610989697879195,0.6775400499741616,0.769741833862266,0.839889624849638,0.8922608180038789,0.9315419599631839,0.962094548378084,0.9878163707328971]
H8 = [0.07711507983241622,0.2659685265210946,0.4820706250610472,0.6651041532634957,0.7968204713315797,0.8841015085506159,0.9412514277740471,0.9820054141886075]
H4 = [0.12073211751675449,0.3903621872345006,0.6632020224193995,0.890786832653497]

class Halfband:
    def __init__(self, table):
        self.c = [f32(v) for v in table]; n = len(table)
        self.x = [f32(0)] * n; self.y = [f32(0)] * n
    def path(self, first, s):
        for k in range(first, len(self.c), 2):
            t = f32(f32(f32(s - self.y[k]) * self.c[k]) + self.x[k])
            self.x[k] = s; self.y[k] = t; s = t
        return s
    def up(self, s):
        return self.path(0, s), self.path(1, s)
    def down(self, first, second):
        a = self.path(0, second); b = self.path(1, first)
        return f32(f32(0.5) * f32(a + b))

def shaper(x):
    return 250 * (1 - math.exp(-0.004 * x)) if x > 0 else x
def drive_gain(d):
    return ((0.9841 * d) * d - d * 0.0732) + 0.089125

class Amp:
    def __init__(self, rate, fs):
        self.st = {n: Stage(s, fs) for n, s in [('clean1','S1'),('crunch1','S1'),('input','S2'),('od1','S3'),('clean2','S4'),('crunch2','S4'),('od2','S4')]}
        d = fs
        self.bq = {'odlp2': Biquad('lp', 4800, 0.85, d), 'odlp1': Biquad('lp', 2257, 0.85, d),
                   'cleanlp': Biquad('lp', 4800, 1.0, d), 'crunchlp': Biquad('lp', 4800, 0.85, d),
                   'cleanbright': Biquad('ls', 720, 0.7, d, 0.5), 'crunchbright': Biquad('ls', 720, 0.7, d, 0.5),
                   'odshelf': Biquad('ls', 250, 0.7, d, 0.45), 'cleanshelf': Biquad('ls', 600, 0.7, d, 0.25),
                   'crunchshelf': Biquad('ls', 600, 0.7, d, 0.35), 'peak': Biquad('pk', 4500, 0.7, d, 1.6),
                   'dc': Biquad('hp', 2, 0.7, d)}
        self.tone = Tone(d)
        self.up1, self.down1 = Halfband(H12), Halfband(H12)
        self.up2, self.down2 = Halfband(H8), Halfband(H8)
        self.up3, self.down3 = Halfband(H4), Halfband(H4)

    def sample(self, x, p, fs):
        st, bq = self.st, self.bq
        x = x * p['input']; x = st['input'].step(x, fs)
        if p['od']:
            x = bq['odshelf'].step(x); x = x * drive_gain(p['drive2'])
            x = bq['odlp1'].step(x); x = st['od1'].step(x, fs)
            if p['boost']: x = x * 2.0
            x = x * 1.8
            x = bq['odlp2'].step(x); x = st['od2'].step(x, fs); x = shaper(x)
            if p['bright']: x = bq['peak'].step(x)
        elif p['crunch']:
            if p['bright']: x = bq['crunchbright'].step(x)
            else: x = x * 0.5
            x = x * drive_gain(p['drive1'])
            x = st['crunch1'].step(x, fs); x = bq['crunchshelf'].step(x)
            x = bq['crunchlp'].step(x); x = st['crunch2'].step(x, fs); x = shaper(x)
        else:
            x = x * 0.22
            if not p['bright']: x = x * 0.0766; mk = 6.0
            else: x = bq['cleanbright'].step(x) * 0.1; mk = 5.3
            x = st['clean1'].step(x, fs); x = bq['cleanshelf'].step(x)
            x = bq['cleanlp'].step(x); x = st['clean2'].step(x, fs); x = x * mk
        c = p['contour']
        x = self.tone.step(x, (p['low'], p['mid'], p['high'], c))
        cl = (c * 1.0298 - c * c * 0.1077 + 0.5225) * 0.015
        pd = p['power'] * 0.9 + 0.1
        x = (x * cl) * pd
        x = lookup(x)
        return bq['dc'].step(x)

    def host(self, x, factor, p, fs):
        p0, p1 = self.up1.up(x)
        def model(v): return f32(self.sample(float(v), p, fs))
        if factor == 2:
            r0, r1 = model(p0), model(p1)
        else:
            slots = []
            for q in (p0, p1):
                u0, u1 = self.up2.up(q)
                if factor == 4:
                    a = model(u0); b = model(u1)
                    slots.append(self.down2.down(a, b))
                else:
                    sub = []
                    for u in (u0, u1):
                        w0, w1 = self.up3.up(u)
                        a = model(w0); b = model(w1)
                        sub.append(self.down3.down(a, b))
                    slots.append(self.down2.down(sub[0], sub[1]))
            r0, r1 = slots
        return self.down1.down(r0, r1)

def lcg_signal(frames, rate, variant):
    rate = f32(rate)
    plucks = [(82.41,0.0),(110.0,0.004),(146.83,0.009),(196.0,0.02)] if variant == 0 else [(98.0,0.0),(123.47,0.006),(164.81,0.012),(329.63,0.025)]
    state = [12345 if variant == 0 else 54321]
    def nxt():
        state[0] = (state[0] * 1664525 + 1013904223) & 0xffffffff; return state[0]
    def bip():
        v = nxt() >> 8
        return f32(f32(v - 8388608) * f32(1.0 / 8388608.0))
    out = [f32(0)] * frames
    for f, st in plucks:
        period = int(rate / f32(f))
        line = [f32(f32(0.3) * bip()) for _ in range(period)]
        start = int(f32(f32(st) * rate))
        pos = 0
        for n in range(start, frames):
            nx = 0 if pos + 1 == period else pos + 1
            v = line[pos]
            line[pos] = f32(f32(0.4985) * f32(v + line[nx]))
            out[n] = f32(out[n] + v); pos = nx
    return out

def render(voicing, factor, frames):
    hostrate = 96000.0 if factor == 2 else 44100.0
    fs = float(f32(hostrate) * f32(factor))
    period = 1.0 / fs; prate = 1.0 / period
    amp = Amp(hostrate, fs)
    # The stages were made at 4 x 44100 (creation) and re-rated with
    # T = 1 / processRate by the rate handler; voltages are unaffected.
    for s in amp.st.values(): s.update(1.0 / prate)
    p = dict(input=0.5, drive1=0.5, drive2=0.5, low=0.5, mid=0.5, high=0.5, contour=0.5, power=0.5,
             volume=0.5, od=0, crunch=0, boost=0, bright=0)
    if voicing == 'clean': p['input'] = float(f32(0.7))
    if voicing == 'crunch': p.update(crunch=1, bright=1, drive1=float(f32(0.7)), low=float(f32(0.3)))
    if voicing == 'overdrive': p.update(od=1, boost=1, bright=1, drive2=float(f32(0.8)), contour=float(f32(0.8)), power=float(f32(0.7)))
    sig = lcg_signal(frames, hostrate, 0)
    out = []
    K = 6.28319304 * 1000.0
    for i in range(frames):
        block_start = (i // 256) * 256
        bl = min(256, frames - block_start)
        n = bl - 1 - (i - block_start)
        ad = 1e-10 * math.sin(n * (period * K))
        x = f32(float(sig[i]) + ad)
        y = amp.host(x, factor, p, prate)
        v = float(y) * 3.0
        out.append(f32(v * float(f32(p['volume']))))
    return out

def check(voicing, factor, frames=1500):
    out = render(voicing, factor, frames)
    gold = open(os.path.join(HERE, f'{voicing}_{factor}x_mono.f32'), 'rb').read()
    g = struct.unpack(f'<{len(gold) // 4}f', gold)
    bad = [i for i in range(frames) if struct.pack('<f', out[i]) != struct.pack('<f', g[i])]
    print(f'{voicing} {factor}x: {len(bad)} of {frames} values differ'
          + (f', first at {bad[0]}: model {float(out[bad[0]])!r}, file {g[bad[0]]!r}' if bad else ''))
    return not bad


if __name__ == '__main__':
    if len(sys.argv) == 3:
        cases = [(sys.argv[1], int(sys.argv[2]))]
    else:
        cases = [(v, f) for v in ('clean', 'crunch', 'overdrive') for f in (2, 4, 8)]
    ok = all([check(v, f) for v, f in cases])
    sys.exit(0 if ok else 1)
