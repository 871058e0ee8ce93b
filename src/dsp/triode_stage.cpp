// SPDX-License-Identifier: GPL-3.0-or-later
// Triode stage set-up: operating point and rate-dependent coefficients.
#include "dsp/triode_stage.h"

namespace vorla {

void initTriodeStage(TriodeStage& s, double Rg, double Rk, double Ck, double Vb, double Rp,
                     double VpStart, double Ra, double Rb, double Cc, double rate,
                     const TriodeCurve& curve)
{
    s.Rg = Rg;
    s.Rk = Rk;
    s.Ck = Ck;
    s.Vb = Vb;
    s.Rp = Rp;
    s.Ra = Ra;
    s.Rb = Rb;
    s.Cc = Cc;

    s.c0 = curve.c0;
    s.c1 = curve.c1;
    s.c2 = curve.c2;
    s.c3 = curve.c3;
    s.c4 = curve.c4;
    s.c5 = curve.c5;
    s.c6 = curve.c6;
    s.c7 = curve.c7;
    s.c8 = curve.c8;
    s.c9 = curve.c9;
    s.c10 = curve.c10;
    s.c11 = curve.c11;
    s.c12 = curve.c12;

    // The 1e-20 keeps the reciprocal finite for a zero grid resistor.
    s.F = Rg * 0.00375 + 1e-20;
    s.halfInvF = 1.0 / (2.0 * s.F);

    // Operating point with the grid at 0 V: damped fixed-point iteration of
    // the load line (Ip through Rp, Vk = Rk Ip) against the curve at -Vk.
    // Ten half-steps settle it to well below a millivolt for every set.
    double Vp = VpStart;
    double Vk = 0.0;
    double Ip = 0.0;
    for (int n = 0; n < 10; ++n)
    {
        Ip = (Vb - Vp) / (Rp + 1e-20);
        Vk = Rk * Ip;
        Vp = Vp + 0.5 * (Vk + evaluateTriodeCurve(s, -Vk) - Vp);
    }
    s.Vp = Vp;
    s.Vk = Vk;
    s.Ip = Ip;
    s.Vg = 0.0;
    s.Ig = 0.0;
    s.out = 0.0;

    s.invRp = 1.0 / (Rp + 1e-20);
    s.invRg = 1.0 / (Rg + 1e-20);

    updateTriodeStageRate(s, 1.0 / rate);
}

void updateTriodeStageRate(TriodeStage& s, double T)
{
    s.cathodeCoef = T * s.Rk / (T + s.Rk * s.Ck);
    const double tau = (s.Ra + s.Rb) * s.Cc;
    s.couplingCoef = tau / (tau + T);
}

} // namespace vorla
