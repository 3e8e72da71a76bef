#!/usr/bin/env python3
"""Compares kestrane_cascade_dump's JSON with independent values; exits 1 on any failure.

Poles: scipy.signal's butter, cheby1 and bessel(norm='mag') zpk at 1 rad/s, and the same in
mpmath at 40 digits (closed forms; Bessel by polyroots of the reverse Bessel polynomial with
its -3 dB point by findroot); a Chebyshev's -3 dB convention divides by the -3 dB frequency
that mpmath finds on |H|/|H(0)|. Stages, responses, measured cutoffs and peaks come from the
mpmath poles, each peak from a dense grid refined by findroot on d ln|H|^2/df. Orders: scipy's
buttord and cheb1ord, and a brute-force search over orders on scipy's zpk and freqs_zpk, which
also gives the reference cutoffs and losses.

Usage: cascade_reference.py PATH_TO_kestrane_cascade_dump"""
import json
import math
import subprocess
import sys
from math import factorial

import mpmath as mp
import numpy as np
from scipy import optimize, signal

mp.mp.dps = 40
FAILURES, CHECKS, WORST = [], [0], {}


def check(ok, what):
    CHECKS[0] += 1
    if not ok:
        FAILURES.append(what)


def close(kind, got, want, tolerance, what, absolute=False):
    error = float(abs(got - want) if absolute or want == 0 else abs(got - want) / abs(want))
    WORST[kind] = max(WORST.get(kind, 0.0), error)
    check(error <= tolerance, f"{what}: {kind} {got} vs {want}")


def reverse_bessel(n):
    return [factorial(2 * n - k) // (2 ** (n - k) * factorial(k) * factorial(n - k)) for k in range(n + 1)]


def check_bessel_magnitude_identity():
    """|theta_n(jw)|^2 = sum_k c_k w^2k, c_k = (2n-k)!(2n-2k)!/(2^(2n-2k) k! (n-k)!^2)."""
    for n in range(1, 31):
        a, c = reverse_bessel(n), [0] * (n + 1)
        for i in range(n + 1):
            for j in range(i % 2, n + 1, 2):
                c[(i + j) // 2] += a[i] * a[j] * (-1) ** ((i + j) // 2 + j)
        check(c == [factorial(2 * n - k) * factorial(2 * n - 2 * k) // (2 ** (2 * n - 2 * k) * factorial(k)
                    * factorial(n - k) ** 2) for k in range(n + 1)], f"Bessel identity, order {n}")


def gain_squared(poles, w):
    return mp.fprod(abs(p) ** 2 / abs(1j * w - p) ** 2 for p in poles)


def half_power(poles, low, high):
    return mp.findroot(lambda w: gain_squared(poles, w) - mp.mpf(1) / 2, (mp.mpf(low), mp.mpf(high)), solver="anderson")


def reference_poles(d):
    """(mpmath poles, scipy poles) in the design's cutoff convention at 1 rad/s."""
    n, family = d["order"], d["response"]
    if family in ("butterworth", "linkwitz-riley"):
        m = n if family == "butterworth" else n // 2
        exact = [1j * mp.expjpi(mp.mpf(2 * k - 1) / (2 * m)) for k in range(1, m + 1)]
        theirs = signal.butter(m, 1, analog=True, output="zpk")[1]
        return (exact, theirs) if m == n else (exact * 2, np.concatenate([theirs, theirs]))
    if family == "bessel":
        roots = mp.polyroots(reverse_bessel(n)[::-1], maxsteps=400, extraprec=400)
        exact = [r / half_power(roots, 0.5, n + 2) for r in roots]
        return exact, signal.bessel(n, 1, analog=True, norm="mag", output="zpk")[1]
    mu = mp.asinh(1 / mp.sqrt(mp.power(10, mp.mpf(d["ripple_db"]) / 10) - 1)) / n
    exact = [-mp.sinh(mu + 1j * mp.pi * m / (2 * n)) for m in range(-n + 1, n, 2)]
    theirs = signal.cheby1(n, d["ripple_db"], 1, analog=True, output="zpk")[1]
    if d["edge"] == "ripple-edge":
        return exact, theirs
    w3 = half_power(exact, 1, 100)
    return [p / w3 for p in exact], theirs / float(w3)


def worst_pole_error(ours, theirs):
    remaining, worst = [complex(q) for q in theirs], 0.0
    for p in ours:
        i = int(np.argmin([abs(p - q) for q in remaining]))
        worst = max(worst, abs(p - remaining[i]) / abs(remaining.pop(i)))
    return worst


def reference_stages(poles, fc):
    """(order, f0, Q): first-order first, then rising Q; a doubled real pole is one Q = 1/2 stage."""
    real = [mp.re(p) for p in poles if abs(mp.im(p)) < 1e-30]
    stages = [(2, abs(p) * fc, abs(p) / (2 * abs(mp.re(p)))) for p in poles if mp.im(p) > 1e-30]
    if len(real) == 2:
        stages.append((2, abs(real[0]) * fc, mp.mpf(1) / 2))
    elif real:
        stages.append((1, abs(real[0]) * fc, 0))
    return sorted(stages, key=lambda s: (s[0], s[2]))


def point(poles, fc, hz):
    """Gain, unwrapped phase (degrees) and group delay (s) from the poles."""
    w, gain, phase, delay = 2 * mp.pi * hz, mp.mpf(1), mp.mpf(0), mp.mpf(0)
    for p in (p * 2 * mp.pi * fc for p in poles):
        gain *= abs(p) / abs(1j * w - p)
        phase -= mp.atan2(w - p.imag, -p.real) - mp.atan2(-p.imag, -p.real)
        delay += -p.real / ((w - p.imag) ** 2 + p.real ** 2)
    return gain, phase * 180 / mp.pi, delay


def stage_terms(stages, f):
    """|1/H|^2 and f^2 d ln|1/H|^2 / d f^2 of the stages at f."""
    product, slope = mp.mpf(1), mp.mpf(0)
    for order, f0, q in stages:
        u = (f / f0) ** 2
        d, dd = (1 + u, 1) if order == 1 else ((1 - u) ** 2 + u / q ** 2, 2 * (u - 1) + 1 / q ** 2)
        product, slope = product * d, slope + u * dd / d
    return product, slope


def reference_peak(stages):
    """(gain, hz) of the largest gain; the lowest frequency among maxima equal to 1e-12."""
    grid = np.geomspace(min(float(s[1]) for s in stages) * 1e-3, 2 * max(float(s[1]) for s in stages), 100001)
    product = np.ones_like(grid)
    for order, f0, q in stages:
        u = (grid / float(f0)) ** 2
        product *= 1 + u if order == 1 else (1 - u) ** 2 + u / float(q) ** 2
    gain = product ** -0.5
    peaks = [(mp.mpf(1), 0)]
    for i in np.nonzero((gain[1:-1] >= gain[:-2]) & (gain[1:-1] > gain[2:]) & (gain[1:-1] > 1 + 1e-13))[0] + 1:
        f = mp.findroot(lambda x: stage_terms(stages, x)[1], (grid[i - 1], grid[i + 1]), solver="anderson")
        peaks.append((stage_terms(stages, f)[0] ** -0.5, f))
    largest = max(p[0] for p in peaks)
    return min((p for p in peaks if p[0] * (1 + mp.mpf("1e-12")) >= largest), key=lambda p: p[1])


def check_design(d):
    name = f"{d['response']} {d['order']} {d['ripple_db']} {d['edge']}"
    family = d["response"] + (" " + d["edge"] if d["response"] == "chebyshev" else "")
    exact, theirs = reference_poles(d)
    ours = [complex(re, im) for re, im in d["poles"]]
    close(f"poles vs scipy, {family}", worst_pole_error(ours, theirs), 0, 1e-12, name, True)
    close(f"poles vs mpmath, {family}", worst_pole_error(ours, exact), 0, 1e-13, name, True)
    fc, stages = d["cutoff_hz"], reference_stages(exact, d["cutoff_hz"])
    check([s[0] for s in stages] == [s["order"] for s in d["stages"]], f"{name}: stage orders")
    for (order, f0, q), got in zip(stages, d["stages"]):
        close("stage f0", got["f0_hz"], f0, 1e-13, name)
        if order == 2:
            close("stage Q", got["q"], q, 1e-13, name)
    close("measured cutoff", d["measured_cutoff_hz"], fc, 1e-12, name)
    for p in d["points"]:
        gain, phase, delay = point(exact, fc, p["hz"])
        close("response gain", p["gain"], gain, 1e-12, f"{name} at {p['hz']} Hz")
        close("response group delay", p["group_delay_s"], delay, 1e-12, f"{name} at {p['hz']} Hz")
        close("response phase (degrees)", p["phase_deg"], phase, 1e-10, f"{name} at {p['hz']} Hz", True)
    for k, got in enumerate(d["stages"], 1):
        gain, hz = reference_peak(stages[:k])
        close("peak gain", got["peak_gain"], gain, 1e-12, f"{name}, stage {k}")
        close("peak frequency", got["peak_hz"], hz, 1e-10, f"{name}, stage {k}")


def zpk_of(family, n, ripple):
    """At 1 rad/s, largest gain 1 (cheby1's ripple top included)."""
    if family == "bessel":
        return signal.bessel(n, 1, analog=True, norm="mag", output="zpk")
    if family == "chebyshev":
        return signal.cheby1(n, ripple, 1, analog=True, output="zpk")
    z, p, k = signal.butter(n if family == "butterworth" else n // 2, 1, analog=True, output="zpk")
    return (z, p, k) if family == "butterworth" else (z, np.concatenate([p, p]), k * k)


def gain_at(zpk, w):
    return abs(signal.freqs_zpk(*zpk, worN=[w])[1][0])


def root(f, low, high):
    return optimize.brentq(f, low, high, xtol=1e-300, rtol=8.9e-16)


def brute_force(family, ripple, c, highest):
    """(order, w_p, loss at fs, zpk) of the lowest order meeting the spec, or None."""
    for n in range(2 if family == "linkwitz-riley" else 1, highest + 1, 2 if family == "linkwitz-riley" else 1):
        zpk = zpk_of(family, n, ripple)
        loss = lambda w: -20 * math.log10(gain_at(zpk, w))
        wp = 1.0 if family == "chebyshev" and c["ap"] == ripple else root(lambda w: loss(w) - c["ap"], 1e-9, 1e3)
        if loss(wp * c["fs"] / c["fp"]) >= c["as"]:
            return n, wp, loss(wp * c["fs"] / c["fp"]), zpk
    return None


def check_order(c):
    family = c["response"]
    name = f"order: {family} {c['ripple_db']} {c['edge']} {c['fp']} {c['ap']} {c['fs']} {c['as']}"
    ripple = c["ripple_db"] if c["ripple_db"] is not None else c["ap"]
    if family == "chebyshev" and not 0.01 <= ripple <= 3:
        return check(c["error"] != 0, f"{name}: accepted")
    check(c["error"] == 0, f"{name}: refused")
    highest = 25 if family == "bessel" else 60
    found = brute_force(family, ripple, c, highest)
    order = found[0] if found else None
    if family == "butterworth":
        order, wn = signal.buttord(c["fp"], c["fs"], c["ap"], c["as"], analog=True)
    elif family == "chebyshev" and c["ripple_db"] is None:
        order, wn = signal.cheb1ord(c["fp"], c["fs"], c["ap"], c["as"], analog=True)
    elif family == "linkwitz-riley" and found is None:  # the closed form 20 log10(1 + w^n)
        span = mp.log((mp.power(10, mp.mpf(c["as"]) / 20) - 1) / (mp.power(10, mp.mpf(c["ap"]) / 20) - 1))
        order = int(mp.ceil(span / mp.log(mp.mpf(c["fs"]) / c["fp"])))
        order += order % 2
    check(found is None or found[0] == order, f"{name}: scipy's order {order}, brute force {found and found[0]}")
    if order is None or order > 10:
        want = ("cannot_be_met", 0) if order is None else ("needs_higher_order", order)
        return check((c["outcome"], c["order"]) == want, f"{name}: {c['outcome']} {c['order']}, want {want}")
    check((c["outcome"], c["order"]) == ("met", order), f"{name}: {c['outcome']} {c['order']}, want {order}")
    _, wp, stop, zpk = found
    position = 1.0
    if family == "chebyshev" and c["edge"] == "-3db":
        position = root(lambda w: gain_at(zpk, w) / gain_at(zpk, 0) - 2 ** -0.5, 1e-9, 1e3)
    if family == "butterworth" or (family == "chebyshev" and c["ripple_db"] is None and c["edge"] != "-3db"):
        close("order: cutoff vs buttord's or cheb1ord's Wn", c["cutoff_hz"], wn, 1e-12, name)
    close("order: cutoff", c["cutoff_hz"], c["fp"] * position / wp, 1e-9, name)
    close("order: stopband loss reported (dB)", c["stopband_loss_db"], stop, 1e-9, name, True)
    close("order: stopband loss of the design (dB)", -20 * math.log10(c["relative_gain_at_fs"]), stop, 1e-9, name, True)
    close("order: passband loss of the design (dB)", -20 * math.log10(c["relative_gain_at_fp"]), c["ap"], 1e-9, name, True)


def main():
    dump = json.loads(subprocess.run([sys.argv[1]], check=True, capture_output=True, text=True).stdout)
    check_bessel_magnitude_identity()
    for d in dump["designs"]:
        check_design(d)
    for c in dump["orders"]:
        check_order(c)
    for kind in sorted(WORST):
        print(f"largest error, {kind}: {WORST[kind]:.3g}")
    for failure in FAILURES[:40]:
        print("FAILED:", failure)
    print(f"{CHECKS[0] - len(FAILURES)} passed, {len(FAILURES)} failed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
