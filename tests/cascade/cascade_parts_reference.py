#!/usr/bin/env python3
"""Checks kestrane_cascade_parts_dump's ranges, bands and yields independently; exits 1 on any
failure.

A build's cutoff here is a root of a polynomial, not a walk: the cascade's |1/H|^2 is the
product of its stages' 1 + (b^2 - 2a) x + a^2 x^2 in x = w^2 (a = R1 R2 C1 C2, b = C2 (R1 + R2);
a first-order stage a = 0, b = R1 C1), so the first crossing of a loss L is the least positive
real root of that product minus L, and the last crossing the greatest (numpy's roots, then
Newton in mpmath at 30 digits).

Yield: splitmix64 written out again, every part drawn in the stated order, each build's cutoff
found as above and compared with the bands; the counts must match exactly.
Ranges: 20 000 random builds and 20 000 random corners never fall outside; each end is reached
within 1e-6 by an optimiser over the box (L-BFGS-B on the parts, from the best sampled builds)
or by one of the two builds the dump names, checked to lie in the box, whose cutoffs are found
here again.
Bands: 2 000 random builds and corners never fall outside at each frequency the dump gives; the
ends are reached within 1e-6 by each stage's own extremes, found by the optimiser over the
stage's box (the stages share no part), multiplied (gain) or added (phase, delay).

Usage: cascade_parts_reference.py PATH_TO_kestrane_cascade_parts_dump"""
import json
import math
import subprocess
import sys

import mpmath as mp
import numpy as np
from scipy import optimize

mp.mp.dps = 30
MASK = (1 << 64) - 1
FAILURES, WORST, NEAREST = [], {}, [1.0]


def check(ok, what):
    if not ok:
        FAILURES.append(what)


def note(kind, value):
    WORST[kind] = max(WORST.get(kind, 0.0), value)


class SplitMix64:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def symmetric(self):
        return 2 * ((self.next() >> 11) * 2.0**-53) - 1


def part_slots(stages):
    """(stage, part index, is resistor) for every part drawn, in the stated order."""
    slots = []
    for k, s in enumerate(stages):
        used = [0, 1, 2, 3] if s["order"] == 2 else [0, 2]
        slots += [(k, i, i < 2) for i in used]
    return slots


def coefficients(order, p):
    r1, r2, c1, c2 = p
    return (r1 * r2 * c1 * c2, c2 * (r1 + r2)) if order == 2 else (0.0, r1 * c1)


def loss_polynomial(stages, parts, scale):
    """|1/H|^2 as a polynomial in s = x / scale, highest power first."""
    poly = np.array([1.0])
    for s, p in zip(stages, parts):
        a, b = coefficients(s["order"], p)
        a, b2 = a * scale, b * b * scale
        poly = np.polymul(poly, [a * a, b2 - 2 * a, 1.0])
    return np.trim_zeros(poly, "f")


def refine(poly, level, s):
    coefficients_mp = [mp.mpf(float(c)) for c in poly]
    f = lambda x: mp.polyval(coefficients_mp, x) - level
    try:
        return float(mp.findroot(f, mp.mpf(s)))
    except (ValueError, ZeroDivisionError):
        return s


def cutoff(stages, parts, level, last, target, precise=False):
    scale = (2 * math.pi * target) ** 2
    poly = loss_polynomial(stages, parts, scale)
    shifted = poly.copy()
    shifted[-1] -= level
    roots = np.roots(shifted)
    real = sorted(r.real for r in roots if r.real > 0 and abs(r.imag) <= 1e-7 * abs(r))
    if not real:
        return 0.0
    s = real[-1] if last else real[0]
    return target * math.sqrt(refine(poly, level, s) if precise else s)


def nominal_parts(case):
    return [list(s["parts"]) for s in case["stages"]]


def parts_at(case, u):
    """The parts at u in [-1, 1]^n, one coordinate per drawn part."""
    tr, tc = (t / 100 for t in case["tolerances"])
    parts = nominal_parts(case)
    for (k, i, resistor), x in zip(part_slots(case["stages"]), u):
        parts[k][i] *= 1 + (tr if resistor else tc) * x
    return parts


def case_cutoff(case, u):
    return cutoff(case["stages"], parts_at(case, u), case["loss"], case["last"], case["target_hz"])


def check_yield(case, draws, seed, bands):
    random = SplitMix64(seed)
    tr, tc = (t / 100 for t in case["tolerances"])
    within = [0, 0, 0]
    nearest_edge = 1.0
    for _ in range(draws):
        parts = nominal_parts(case)
        for k, i, resistor in part_slots(case["stages"]):
            parts[k][i] *= 1 + (tr if resistor else tc) * random.symmetric()
        fc = cutoff(case["stages"], parts, case["loss"], case["last"], case["target_hz"])
        error = abs(fc / case["target_hz"] - 1)
        if min(abs(error - p / 100) for p in bands) < 1e-9:
            fc = cutoff(case["stages"], parts, case["loss"], case["last"], case["target_hz"], True)
            error = abs(fc / case["target_hz"] - 1)
        for j, percent in enumerate(bands):
            within[j] += error <= percent / 100
            nearest_edge = min(nearest_edge, abs(error - percent / 100))
    check(within == case["yield"][1:], f"{name(case)}: yield {case['yield'][1:]} vs {within}")
    return nearest_edge


def samples(case, count, seed):
    n = len(part_slots(case["stages"]))
    rng = np.random.default_rng(seed)
    return np.vstack([rng.uniform(-1, 1, (count, n)), rng.choice([-1.0, 1.0], (count, n))])


def extreme(f, points, sign):
    """The least (sign 1) or greatest (sign -1) of f over the box: the best sampled points
    polished by L-BFGS-B within the box."""
    values = np.array([f(u) for u in points])
    order = np.argsort(sign * values)[:8]
    best = sign * values[order[0]]
    for start in points[order]:
        result = optimize.minimize(lambda u: sign * f(u), start, method="L-BFGS-B",
                                   bounds=[(-1, 1)] * len(start),
                                   options={"ftol": 1e-15, "gtol": 1e-13, "maxiter": 500})
        best = min(best, result.fun)
    return sign * best, values


def check_cutoff_range(case, f, points, witnesses):
    """Every sampled cutoff inside; each end reached within 1e-6 by the optimiser or by one of
    the witnesses (cutoffs of builds checked to lie in the box). The one end the argument only
    bounds (a first crossing's high end, a last crossing's low end) need not be reached where
    the dump's own witness stands farther from it than 1e-6: its gap is reported."""
    reported, reached = case["range_hz"], case["reached_hz"]
    low, values = extreme(f, points, 1)
    high, _ = extreme(f, points, -1)
    slack = 1e-12 * reported[1]
    check(values.min() >= reported[0] - slack and values.max() <= reported[1] + slack,
          f"{name(case)}: cutoff sample outside {reported}: {values.min()} {values.max()}")
    check(low >= reported[0] - slack and high <= reported[1] + slack,
          f"{name(case)}: optimum outside {reported}: {low} {high}")
    found = (min([low] + witnesses), max([high] + witnesses))
    bound = 0 if case["last"] else 1
    for j in (0, 1):
        gap = abs(found[j] - reported[j]) / reported[j]
        if j == bound and abs(reached[j] - reported[j]) > 1e-6 * reported[j]:
            note("cutoff: gap at an end that is only a bound (relative)", gap)
            print(f"  {name(case)}: end {reported[j]} is a bound; builds reach {found[j]}")
            continue
        note("cutoff: gap to the ends (relative)", gap)
        check(gap <= 1e-6, f"{name(case)}: end {reported[j]} reached only by {found[j]}")


def witness_cutoffs(case):
    """The cutoffs of the dump's two builds, after checking that they lie in the box."""
    tr, tc = (t / 100 for t in case["tolerances"])
    values = []
    for key, want in (("low_build", case["reached_hz"][0]), ("high_build", case["reached_hz"][1])):
        build = [list(s["parts"]) for s in case[key]]
        for (k, i, resistor) in part_slots(case["stages"]):
            nominal, t = case["stages"][k]["parts"][i], tr if resistor else tc
            check(nominal * (1 - t) * (1 - 1e-14) <= build[k][i] <= nominal * (1 + t) * (1 + 1e-14),
                  f"{name(case)}: {key} part {k}.{i} outside the box")
        fc = cutoff(case["stages"], build, case["loss"], case["last"], case["target_hz"], True)
        note("reached builds' cutoffs against the dump's (relative)", abs(fc - want) / want)
        check(abs(fc - want) <= 1e-9 * want, f"{name(case)}: {key} cutoff {fc} vs {want}")
        values.append(fc)
    return values


def stage_extremes(case, k, hz):
    """The least and greatest gain, phase and delay of stage k over its own box: the best of a
    5^n grid polished by L-BFGS-B."""
    stage = case["stages"][k]
    tr, tc = (t / 100 for t in case["tolerances"])
    slots = [(i, tr if i < 2 else tc) for i in ([0, 1, 2, 3] if stage["order"] == 2 else [0, 2])]

    def at(u, j):
        p = list(stage["parts"])
        for (i, t), x in zip(slots, u):
            p[i] *= 1 + t * x
        return stage_response(stage["order"], p, hz)[j]

    grid = np.array(np.meshgrid(*[np.linspace(-1, 1, 5)] * len(slots))).reshape(len(slots), -1).T
    result = []
    for j in range(3):
        low, _ = extreme(lambda u: at(u, j), grid, 1)
        high, _ = extreme(lambda u: at(u, j), grid, -1)
        result.append((low, high))
    return result


def check_bands(case):
    points = samples(case, 2000, 11)
    for band in case["bands"]:
        hz = band["hz"]
        per_stage = [stage_extremes(case, k, hz) for k in range(len(case["stages"]))]
        combined = [(math.prod(e[0][0] for e in per_stage), math.prod(e[0][1] for e in per_stage))]
        combined += [(sum(e[j][0] for e in per_stage), sum(e[j][1] for e in per_stage))
                     for j in (1, 2)]
        for j, kind in enumerate(("gain", "phase_deg", "group_delay_s")):
            reported = band[kind]
            span = max(abs(reported[0]), abs(reported[1]))
            values = np.array([response(case, u, hz)[j] for u in points])
            check(values.min() >= reported[0] - 1e-12 * span and
                  values.max() <= reported[1] + 1e-12 * span,
                  f"{name(case)} at {hz} Hz: {kind} sample outside {reported}")
            gap = max(abs(combined[j][0] - reported[0]), abs(combined[j][1] - reported[1])) / span
            note(f"band {kind}: gap to the ends (relative)", gap)
            check(gap <= 1e-6 and combined[j][0] >= reported[0] - 1e-12 * span and
                  combined[j][1] <= reported[1] + 1e-12 * span,
                  f"{name(case)} at {hz} Hz: {kind} {reported} vs stages' optima {combined[j]}")


def stage_response(order, p, hz):
    """Gain, phase in degrees (continuous) and group delay of one stage."""
    a, b = coefficients(order, p)
    w = 2 * math.pi * hz
    re, im = 1 - w * w * a, w * b
    gain = 1 / math.hypot(re, im)
    phase = -math.degrees(math.atan2(im, re))
    delay = b * (1 + w * w * a) / (re * re + im * im)
    return gain, phase, delay


def response(case, u, hz):
    total = [1.0, 0.0, 0.0]
    for s, p in zip(case["stages"], parts_at(case, u)):
        g, ph, d = stage_response(s["order"], p, hz)
        total = [total[0] * g, total[1] + ph, total[2] + d]
    return total


def name(case):
    return f"{case['response']} {case['order']} {case['edge']}"


def main():
    dump = json.loads(subprocess.run([sys.argv[1]], capture_output=True, check=True, text=True).stdout)
    for case in dump["cases"]:
        NEAREST[0] = min(NEAREST[0], check_yield(case, dump["draws"], dump["seed"],
                                                 dump["band_percent"]))
        reached = case["reached_hz"]
        check(case["range_hz"][0] <= reached[0] <= reached[1] <= case["range_hz"][1],
              f"{name(case)}: reached {reached} outside {case['range_hz']}")
        check_cutoff_range(case, lambda u: case_cutoff(case, u), samples(case, 20000, 7),
                           witness_cutoffs(case))
        check_bands(case)
        print(f"{name(case)}: range {case['range_hz']} reached {reached} yield {case['yield']}")
    print(f"yield: least distance of a cutoff from a band end: {NEAREST[0]:.3g} (relative)")
    for kind, value in sorted(WORST.items()):
        print(f"worst {kind}: {value:.3g}")
    for failure in FAILURES:
        print("FAIL", failure)
    sys.exit(1 if FAILURES else 0)


if __name__ == "__main__":
    main()
