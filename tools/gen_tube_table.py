#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Generate resources/tube_table.txt, the sampled power-tube transfer curve.

Usage (run by hand from the repository root; the output is committed):
    /usr/bin/python3 tools/gen_tube_table.py > resources/tube_table.txt

Output: 4000 lines "x y", both printed with %.17g so that they read back
bit for bit.  x of line i is (i - 1999) / 10.0 evaluated in IEEE double, so
x runs from -199.9 to 200.0 in steps of 0.1 and line 1999 is x = 0.

Method.  The curve is pinned by the measured rows in ANCHORS below.  At
those x the table stores exactly the decimal value written there (parsed
with float()), so the lookup returns them unchanged.  Between the rows the
curve is a monotone piecewise-cubic Hermite interpolant (Fritsch-Carlson
construction, with the Fritsch-Butland weighted harmonic mean of the two
neighbouring secant slopes as the tangent at every interior row, and the
three-point end formula limited to the sign of the end secant), evaluated
in x itself.

Why this interpolant: it is exact at the rows, C1-smooth, local, and never
overshoots between two rows.  A global cubic spline would ring in the long
nearly flat stretches (-199.8..-4 and 10..200, where rows are tens of volts
apart and the curve moves by a few thousandths) and would invent extra
extrema; the monotone construction keeps exactly the extrema the rows show:
the small wobble at the negative end (maximum 0.447232531817 at x = -199.8),
the single minimum -0.448336961307 at x = 41.1 and the slow rise after it.
No change of coordinate is needed: the rows are 0.1 apart exactly where the
curve bends hard (-2 .. 1), so the steep transition is fixed by the rows
themselves and the interpolant only fills the gentle parts.
"""

import math
import sys

# (x, y) rows of the measured curve, as decimal strings so that the stored
# values are exactly these numbers.
ANCHORS = [
    ("-199.9", "0.446188007274"), ("-199.8", "0.447232531817"),
    ("-180", "0.446474696554"), ("-100", "0.443322496416"),
    ("-50", "0.440211064561"), ("-20", "0.437561075239"),
    ("-10", "0.436482240167"), ("-5", "0.435783102653"),
    ("-4", "0.43464133054"), ("-3", "0.425145363936"),
    ("-2.8", "0.418715435267"), ("-2.6", "0.407479664827"),
    ("-2.4", "0.387806699319"), ("-2.2", "0.356763965448"),
    ("-2", "0.315293952653"), ("-1.9", "0.291472611352"),
    ("-1.8", "0.264232746206"), ("-1.7", "0.234316252788"),
    ("-1.6", "0.203768687526"), ("-1.5", "0.173231209127"),
    ("-1.4", "0.143323397785"), ("-1.3", "0.114735061914"),
    ("-1.2", "0.088195569036"), ("-1.1", "0.06441329251"),
    ("-1", "0.043845888819"), ("-0.9", "0.026458196786"),
    ("-0.8", "0.011559753046"), ("-0.7", "-0.002355837702"),
    ("-0.6", "-0.017425943321"), ("-0.5", "-0.035943907636"),
    ("-0.4", "-0.059721975885"), ("-0.3", "-0.089682363092"),
    ("-0.2", "-0.125787539203"), ("-0.1", "-0.167256480393"),
    ("0.0", "-0.212997229504"), ("0.1", "-0.261668972052"),
    ("0.2", "-0.311335894555"), ("0.3", "-0.358295634779"),
    ("0.4", "-0.395540619346"), ("0.5", "-0.417768427328"),
    ("0.6", "-0.429076434698"), ("0.7", "-0.435180880812"),
    ("0.8", "-0.438882595724"), ("0.9", "-0.441353076757"),
    ("1", "-0.443121066843"), ("1.2", "-0.445491933641"),
    ("1.5", "-0.447477621519"), ("2", "-0.447649375658"),
    ("3", "-0.44777471192"), ("5", "-0.447912297758"),
    ("10", "-0.448091077554"), ("41.1", "-0.448336961307"),
    ("100", "-0.44797866076"), ("180", "-0.446220847891"),
    ("200", "-0.445548982451"),
]

COUNT = 4000
CENTRE = 1999


def sign(v):
    return (v > 0) - (v < 0)


def pchip_slopes(xs, ys):
    n = len(xs)
    h = [xs[k + 1] - xs[k] for k in range(n - 1)]
    d = [(ys[k + 1] - ys[k]) / h[k] for k in range(n - 1)]
    m = [0.0] * n
    for k in range(1, n - 1):
        if sign(d[k - 1]) * sign(d[k]) <= 0:
            m[k] = 0.0  # local extremum or flat: horizontal tangent
        else:
            w1 = 2.0 * h[k] + h[k - 1]
            w2 = h[k] + 2.0 * h[k - 1]
            m[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k])

    def end(h0, h1, d0, d1):
        s = ((2.0 * h0 + h1) * d0 - h0 * d1) / (h0 + h1)
        if sign(s) != sign(d0):
            return 0.0
        if sign(d0) != sign(d1) and abs(s) > abs(3.0 * d0):
            return 3.0 * d0
        return s

    m[0] = end(h[0], h[1], d[0], d[1])
    m[-1] = end(h[-1], h[-2], d[-1], d[-2])
    return m


def main():
    xs = [float(a) for a, _ in ANCHORS]
    ys = [float(b) for _, b in ANCHORS]
    if any(xs[k + 1] <= xs[k] for k in range(len(xs) - 1)):
        sys.exit("gen_tube_table: anchor rows must be sorted by x")
    m = pchip_slopes(xs, ys)
    exact = dict(zip(xs, ys))

    out = []
    seg = 0
    for i in range(COUNT):
        x = (i - CENTRE) / 10.0
        if x in exact:
            y = exact[x]
        else:
            while seg + 1 < len(xs) - 1 and x > xs[seg + 1]:
                seg += 1
            x0, x1 = xs[seg], xs[seg + 1]
            h = x1 - x0
            t = (x - x0) / h
            h00 = (1 + 2 * t) * (1 - t) ** 2
            h10 = t * (1 - t) ** 2
            h01 = t * t * (3 - 2 * t)
            h11 = t * t * (t - 1)
            y = (h00 * ys[seg] + h10 * h * m[seg]
                 + h01 * ys[seg + 1] + h11 * h * m[seg + 1])
        if not math.isfinite(y):
            sys.exit("gen_tube_table: non-finite value at x = %r" % x)
        out.append("%.17g %.17g\n" % (x, y))
    if len(exact) != len(ANCHORS):
        sys.exit("gen_tube_table: duplicate anchor rows")
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    main()
