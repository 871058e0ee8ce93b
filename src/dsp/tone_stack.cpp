// SPDX-License-Identifier: GPL-3.0-or-later
// Tone stack: component storage and the coefficient computation.
#include "dsp/tone_stack.h"

#include <cmath>

namespace vorla {

void designToneStack(double C1, double C2, double C3, double R1, double R2, double R3, double R4,
                     double rate, ToneStack& ts)
{
    ts.C1 = C1;
    ts.C2 = C2;
    ts.C3 = C3;
    ts.R1 = R1;
    ts.R2 = R2;
    ts.R3 = R3;
    ts.R4 = R4;
    ts.w = 2.0 * rate;
    ts.w2 = ts.w * ts.w;
    ts.w3 = ts.w2 * ts.w;
    ts.s0 = 0.0;
    ts.s1 = 0.0;
    ts.s2 = 0.0;
    ts.low = 10.0;
    ts.mid = 10.0;
    ts.high = 10.0;
    ts.contour = 10.0;
}

void updateToneStackCoefficients(ToneStack& ts, double low, double mid, double high,
                                 double contour) noexcept
{
    ts.low = low;
    ts.mid = mid;
    ts.high = high;
    ts.contour = contour;

    const double C1 = ts.C1, C2 = ts.C2, C3 = ts.C3;
    const double R1 = ts.R1, R2 = ts.R2, R3 = ts.R3;
    const double R3sq = R3 * R3;

    const double t = high;
    const double m = mid;
    const double msq = m * m;
    const double k = contour;
    const double l = std::pow(10.0, 2.0 * (low - 1.001)); // audio-taper bass pot
    const double r4 = k * ts.R4;

    // Continuous-time coefficients, each term in the order of the circuit
    // solution (left to right; X^2 is X*X).
    const double b1 = t * C1 * R1 + m * C3 * R3 + l * (C1 * R2 + C2 * R2) + (C1 * R3 + C2 * R3);

    const double b2 = t * (C1 * C2 * R1 * r4 + C1 * C3 * R1 * r4) -
                      msq * (C1 * C3 * R3sq + C2 * C3 * R3sq) +
                      m * (C1 * C3 * R1 * R3 + C1 * C3 * R3sq + C2 * C3 * R3sq) +
                      l * (C1 * C2 * R1 * R2 + C1 * C2 * R2 * r4 + C1 * C3 * R2 * r4) +
                      l * m * (C1 * C3 * R2 * R3 + C2 * C3 * R2 * R3) +
                      (C1 * C2 * R1 * R3 + C1 * C2 * R3 * r4 + C1 * C3 * R3 * r4);

    const double b3 = l * m * (C1 * C2 * C3 * R1 * R2 * R3 + C1 * C2 * C3 * R2 * R3 * r4) -
                      msq * (C1 * C2 * C3 * R1 * R3sq + C1 * C2 * C3 * R3sq * r4) +
                      m * (C1 * C2 * C3 * R1 * R3sq + C1 * C2 * C3 * R3sq * r4) +
                      t * C1 * C2 * C3 * R1 * R3 * r4 - t * m * C1 * C2 * C3 * R1 * R3 * r4 +
                      t * l * C1 * C2 * C3 * R1 * R2 * r4;

    const double a1 =
        (C1 * R1 + C1 * R3 + C2 * R3 + C2 * r4 + C3 * r4) + m * C3 * R3 + l * (C1 * R2 + C2 * R2);

    const double a2 =
        m * (C1 * C3 * R1 * R3 - C2 * C3 * R3 * r4 + C1 * C3 * R3sq + C2 * C3 * R3sq) +
        l * m * (C1 * C3 * R2 * R3 + C2 * C3 * R2 * R3) - msq * (C1 * C3 * R3sq + C2 * C3 * R3sq) +
        l * (C1 * C2 * R2 * r4 + C1 * C2 * R1 * R2 + C1 * C3 * R2 * r4 + C2 * C3 * R2 * r4) +
        (C1 * C2 * R1 * r4 + C1 * C3 * R1 * r4 + C1 * C2 * R3 * r4 + C1 * C2 * R1 * R3 +
         C1 * C3 * R3 * r4 + C2 * C3 * R3 * r4);

    const double a3 =
        l * m * (C1 * C2 * C3 * R1 * R2 * R3 + C1 * C2 * C3 * R2 * R3 * r4) -
        msq * (C1 * C2 * C3 * R1 * R3sq + C1 * C2 * C3 * R3sq * r4) +
        m * (C1 * C2 * C3 * R3sq * r4 + C1 * C2 * C3 * R1 * R3sq - C1 * C2 * C3 * R1 * R3 * r4) +
        l * C1 * C2 * C3 * R1 * R2 * r4 + C1 * C2 * C3 * R1 * R3 * r4;

    // Bilinear transform, s = w (1 - z^-1) / (1 + z^-1), w = 2 * rate.
    const double w = ts.w, w2 = ts.w2, w3 = ts.w3;
    const double B0 = -b1 * w - b2 * w2 - b3 * w3;
    const double B1 = -b1 * w + b2 * w2 + 3.0 * b3 * w3;
    const double B2 = b1 * w + b2 * w2 - 3.0 * b3 * w3;
    const double B3 = b1 * w - b2 * w2 + b3 * w3;
    const double A0 = -1.0 - a1 * w - a2 * w2 - a3 * w3;
    const double A1 = -3.0 - a1 * w + a2 * w2 + 3.0 * a3 * w3;
    const double A2 = -3.0 + a1 * w + a2 * w2 - 3.0 * a3 * w3;
    const double A3 = -1.0 + a1 * w - a2 * w2 + a3 * w3;

    ts.A0 = A0;
    ts.B0n = B0 / A0;
    ts.B1n = B1 / A0;
    ts.B2n = B2 / A0;
    ts.B3n = B3 / A0;
    ts.A1n = A1 / A0;
    ts.A2n = A2 / A0;
    ts.A3n = A3 / A0;
}

} // namespace vorla
