#!/usr/bin/python3
"""The extremes of the real cutoff and Q of a set over its whole tolerance box, found
without assuming anything about corners, edges or folds: a 7^4 grid over the box, then from
its six best points a coordinate-wise golden-section search of each part within its range,
repeated until it settles; the value at the point found is evaluated with mpmath at 40 digits.

    box_ranges.py R1 R2 C1 C2 R_PERCENT C_PERCENT
"""
import itertools
import sys

from mpmath import mp, mpf, pi, sqrt

mp.dps = 40


def figures(parts):
    r1, r2, c1, c2 = [mpf(p) for p in parts]
    a = r1 * r2 * c1 * c2
    b = c2 * (r1 + r2)
    # omega^2 is the positive root of A^2 x^2 + (B^2 - 2A) x - 1 = 0.
    p = b * b - 2 * a
    x = (-p + sqrt(p * p + 4 * a * a)) / (2 * a * a)
    return sqrt(x) / (2 * pi), sqrt(a) / b


def golden(f, lo, hi, sign):
    ratio = (sqrt(5) - 1) / 2
    for _ in range(80):
        m1 = hi - ratio * (hi - lo)
        m2 = lo + ratio * (hi - lo)
        if sign * f(m1) < sign * f(m2):
            lo = m1
        else:
            hi = m2
    return (lo + hi) / 2


def extreme(which, box, sign):
    """sign -1 for the least value, +1 for the greatest."""
    value = lambda p: figures(p)[which]
    grid = [[lo + (hi - lo) * k / 6 for k in range(7)] for lo, hi in box]
    points = sorted(itertools.product(*grid), key=lambda p: -sign * value(p))[:6]
    best = None
    for point in points:
        point = list(point)
        for _ in range(6):
            for i, (lo, hi) in enumerate(box):
                def along(x):
                    q = list(point)
                    q[i] = x
                    return value(q)
                # The ends and the golden-section point: the best of the three.
                inner = golden(along, lo, hi, sign)
                point[i] = max((lo, hi, inner), key=lambda x: sign * along(x))
        v = value(point)
        if best is None or sign * v > sign * best:
            best = v
    return best


def main():
    r1, r2, c1, c2, rt, ct = [mpf(x) for x in sys.argv[1:7]]
    box = []
    for part, t in ((r1, rt), (r2, rt), (c1, ct), (c2, ct)):
        box.append((part * (1 - t / 100), part * (1 + t / 100)))
    for name, which in (("cutoff", 0), ("q", 1)):
        low = extreme(which, box, -1)
        high = extreme(which, box, +1)
        print(name, mp.nstr(low, 20), mp.nstr(high, 20))


if __name__ == "__main__":
    main()
