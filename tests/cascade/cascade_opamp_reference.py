#!/usr/bin/env python3
"""Compares kestrane_cascade_opamp_dump's JSON with a nodal analysis of the same circuits in
mpmath (50 digits); exits 1 on any failure.

Each cascade is written as a netlist (every stage's R1, R2, C1, C2; the op-amp as a 1 S
transconductance into A0 || 1/(2 pi GBW), a unity buffer and Ro, as the product's netlist
has it; an ideal op-amp as a unity buffer of p) and solved by modified nodal analysis:
(G + s C) v = b. From it: responses and group delays (-Re(H'/H), H' from (G + s C) v' = -C v)
at every stage's output; det(G + s C) and each output's numerator as polynomials, by
interpolation on a circle, with their roots; the unwrapped phase as the sum of arg(1 - j w/z)
over zeros less that over poles; cutoffs by findroot on |H|; the step response from the poles
and residues (and, for the Linkwitz-Riley cascades, whose poles repeat, also from mpmath's
Talbot inverse Laplace transform), with its figures found on a dense grid and refined by
findroot; the compensated stages' dominant poles from each stage's own analysis; the needed
GBW checked by its definition just above and below it.

Usage: cascade_opamp_reference.py PATH_TO_kestrane_cascade_opamp_dump"""
import json
import subprocess
import sys

import mpmath as mp

mp.mp.dps = 50
FAILURES, CHECKS, WORST = [], [0], {}


def check(ok, what):
    CHECKS[0] += 1
    if not ok:
        FAILURES.append(what)


def close(kind, got, want, tolerance, what, absolute=False):
    error = abs(mp.mpf(got) - want) if absolute or want == 0 else abs((mp.mpf(got) - want) / want)
    WORST[kind] = max(WORST.get(kind, 0.0), float(error))
    check(error <= tolerance, f"{what}: {kind} {got} vs {mp.nstr(want, 20)}")


def exact(x):
    return mp.mpf(float(x))


# ---- the circuit ----

class Netlist:
    """Nodes by name (ground '0'); unknowns are node voltages then source currents."""

    def __init__(self):
        self.nodes, self.elements, self.sources = {}, [], 0

    def node(self, name):
        if name != "0" and name not in self.nodes:
            self.nodes[name] = len(self.nodes)
        return self.nodes.get(name, -1)

    def add(self, kind, *args):
        self.elements.append((kind, args))
        if kind in ("V", "E"):
            self.sources += 1

    def matrices(self):
        for kind, args in self.elements:
            for a in args:
                if isinstance(a, str):
                    self.node(a)
        n = len(self.nodes) + self.sources
        g, c, b = mp.zeros(n, n), mp.zeros(n, n), mp.zeros(n, 1)
        j = len(self.nodes)

        def stamp(m, p, q, value):
            i, k = self.node(p), self.node(q)
            if i >= 0:
                m[i, i] += value
            if k >= 0:
                m[k, k] += value
            if i >= 0 and k >= 0:
                m[i, k] -= value
                m[k, i] -= value

        for kind, args in self.elements:
            if kind == "R":
                stamp(g, args[0], args[1], 1 / args[2])
            elif kind == "C":
                stamp(c, args[0], args[1], args[2])
            elif kind == "G":  # current gm (V(cp) - V(cn)) into node `to`
                to, cp, cn, gm = args
                i = self.node(to)
                if self.node(cp) >= 0:
                    g[i, self.node(cp)] -= gm
                if self.node(cn) >= 0:
                    g[i, self.node(cn)] += gm
            else:  # V: V(p) = value; E: V(p) = gain V(cp)
                p = self.node(args[0])
                g[p, j] += 1
                g[j, p] += 1
                if kind == "V":
                    b[j] = args[1]
                else:
                    g[j, self.node(args[1])] -= args[2]
                j += 1
        return g, c, b


def opamp_macro(net, k, p, out, opamp):
    gbw, a0, ro = opamp
    if gbw is None and a0 is None:
        net.add("E", out, p, 1)
        return
    a = f"a{k}"
    net.add("G", a, p, out, 1)
    if a0 is not None:
        net.add("R", a, "0", a0)
    if gbw is not None:
        net.add("C", a, "0", 1 / (2 * mp.pi * gbw))
    if ro == 0:
        net.add("E", out, a, 1)
    else:
        net.add("E", f"b{k}", a, 1)
        net.add("R", f"b{k}", out, ro)


def cascade_netlist(stages, opamp):
    net = Netlist()
    net.add("V", "in", 1)
    previous = "in"
    for k, (order, r1, r2, c1, c2) in enumerate(stages):
        out, p = f"out{k}", f"p{k}"
        if order == 2:
            x = f"x{k}"
            net.add("R", previous, x, r1)
            net.add("R", x, p, r2)
            net.add("C", x, out, c1)
            net.add("C", p, "0", c2)
        else:
            net.add("R", previous, p, r1)
            net.add("C", p, "0", c1)
        opamp_macro(net, k, p, out, opamp)
        previous = out
    return net


class Model:
    """The solved circuit: responses, polynomials, poles and zeros of every stage output."""

    def __init__(self, stages, opamp, scale):
        self.count = len(stages)
        net = cascade_netlist(stages, opamp)
        self.g, self.c, self.b = net.matrices()
        self.outputs = [net.node(f"out{k}") for k in range(self.count)]
        self.capacitors = sum(1 for kind, _ in net.elements if kind == "C")
        self.scale = scale
        self.interpolate()

    def solve(self, s):
        m = self.g + s * self.c
        v = mp.lu_solve(m, self.b)
        return m, v

    def response(self, k, w):
        """H_k(jw) and H_k'(s)/H_k(s)."""
        m, v = self.solve(mp.mpc(0, w))
        dv = mp.lu_solve(m, -(self.c * v))
        h = v[self.outputs[k]]
        return h, dv[self.outputs[k]] / h

    def interpolate(self):
        n = 2 * (self.capacitors + 1)
        ds, ns = [], [[] for _ in range(self.count)]
        for j in range(n):
            s = self.scale * mp.expjpi(mp.mpf(2 * j) / n)
            m, v = self.solve(s)
            d = mp.det(m)
            ds.append(d)
            for k in range(self.count):
                ns[k].append(v[self.outputs[k]] * d)

        def coefficients(values):
            """The coefficients in s / scale, the leading ones that are rounding noise dropped."""
            cs = []
            for p in range(self.capacitors + 1):
                total = mp.fsum(values[j] * mp.expjpi(-mp.mpf(2 * j * p) / n) for j in range(n))
                cs.append(mp.re(total) / n)
            largest = max(abs(c) for c in cs)
            while len(cs) > 1 and abs(cs[-1]) <= mp.mpf(10) ** -35 * largest:
                cs.pop()
            return [c / self.scale ** p for p, c in enumerate(cs)]

        self.d = coefficients(ds)
        self.n = [coefficients(values) for values in ns]
        self.poles = roots(self.d)
        self.zeros = [roots(cs) for cs in self.n]

    def phase_deg(self, k, w):
        total = mp.fsum(mp.arg(1 - mp.mpc(0, w) / z) for z in self.zeros[k])
        total -= mp.fsum(mp.arg(1 - mp.mpc(0, w) / p) for p in self.poles)
        return total * 180 / mp.pi

    def gain(self, k, w):
        s = mp.mpc(0, w)
        return abs(poly(self.n[k], s) / poly(self.d, s))

    def log_slope(self, k, w):
        """d ln|H_k|^2 / dw from the roots."""
        total = mp.fsum(2 * (w - mp.im(z)) / abs(mp.mpc(0, w) - z) ** 2 for z in self.zeros[k])
        return total - mp.fsum(2 * (w - mp.im(p)) / abs(mp.mpc(0, w) - p) ** 2 for p in self.poles)

    def dc(self):
        return self.n[-1][0] / self.d[0]


def poly(cs, s):
    return mp.polyval(list(reversed(cs)), s)


def roots(cs):
    if len(cs) <= 1:
        return []
    return mp.polyroots(list(reversed(cs)), maxsteps=20000, extraprec=1500)


# ---- figures ----

def first_crossing(f, low, high, points=3000):
    """The first root of f going up on a geometric grid, refined."""
    ratio = (mp.mpf(high) / low) ** (mp.mpf(1) / points)
    a, fa = mp.mpf(low), f(low)
    for _ in range(points):
        b = a * ratio
        fb = f(b)
        if (fa < 0) != (fb < 0):
            return mp.findroot(f, (a, b), solver="anderson")
        a, fa = b, fb
    return None


def cutoff(model, level, ripple, fc):
    w0 = 2 * mp.pi * fc
    dc2 = model.dc() ** 2
    if level == 2:  # ripple edge
        half = first_crossing(lambda w: model.gain(-1, w) ** 2 / dc2 - mp.mpf(1) / 4, w0 / 100, w0 * 100)
        peak = largest(lambda w: model.gain(-1, w), lambda w: model.log_slope(-1, w), w0 / 1e4, half)[0]
        target = peak ** 2 / mp.power(10, mp.mpf(ripple) / 10)
        ratio = (half / (w0 / 100)) ** (mp.mpf(1) / 3000)
        w, last = w0 / 100, None
        while w < half:
            if model.gain(-1, w) ** 2 >= target and model.gain(-1, min(w * ratio, half)) ** 2 < target:
                last = (w, min(w * ratio, half))
            w *= ratio
        return mp.findroot(lambda v: model.gain(-1, v) ** 2 - target, last, solver="anderson") / (2 * mp.pi)
    share = mp.mpf(1) / 2 if level == 0 else mp.mpf(1) / 4
    return first_crossing(lambda w: model.gain(-1, w) ** 2 / dc2 - share, w0 / 100, w0 * 100) / (2 * mp.pi)


def largest(value, slope, low, high, points=3000):
    """The largest value on [low, high]: grid maxima refined on the slope; (value, w)."""
    ratio = (mp.mpf(high) / low) ** (mp.mpf(1) / points)
    best = (value(0), mp.mpf(0))
    a, sa = mp.mpf(low), slope(low)
    for _ in range(points):
        b = a * ratio
        sb = slope(b)
        if sa > 0 and sb <= 0:
            w = mp.findroot(slope, (a, b), solver="anderson")
            if value(w) > best[0]:
                best = (value(w), w)
        a, sa = b, sb
    return best


class Step:
    """y(t) = H(0) + sum over poles of N(p) / (p D'(p)) e^{p t}. Repeated poles (identical
    stages) split by about the square root of the coefficients' rounding, 1e-24, and their
    residues cancel by twice that: the poles and every sum are taken at 150 digits, treating the
    50-digit coefficients as exact, which leaves some 100 digits."""

    DIGITS = 150

    def __init__(self, model):
        self.final = model.dc()
        with mp.workdps(self.DIGITS):
            n, d = model.n[-1], model.d
            dd = [i * d[i] for i in range(1, len(d))]
            poles = roots(d)
            self.terms = [(p, poly(n, p) / (p * poly(dd, p))) for p in poles]

    def value(self, t):
        with mp.workdps(self.DIGITS):
            y = self.final + mp.re(mp.fsum(r * mp.exp(p * t) for p, r in self.terms))
        return +y

    def slope(self, t):
        with mp.workdps(self.DIGITS):
            y = mp.re(mp.fsum(r * p * mp.exp(p * t) for p, r in self.terms))
        return +y

    def tail(self, t):
        return mp.fsum(abs(r) * mp.exp(mp.re(p) * t) for p, r in self.terms)


def step_figures(step):
    horizon = mp.mpf(1) / min(-mp.re(p) for p, _ in step.terms)
    while step.tail(horizon) > mp.mpf(10) ** -9 * step.final:
        horizon *= 2
    fastest = max(abs(mp.im(p)) for p, _ in step.terms)
    count = 3000 if fastest == 0 else max(3000, int(horizon * fastest / (mp.pi / 12)))
    times = [horizon * mp.mpf(10) ** (-mp.mpf(k) / 40) for k in range(600, 0, -1)]
    times = [mp.mpf(0)] + [t for t in times if t < horizon / count] + [horizon * i / count for i in range(1, count + 1)]
    ys = [step.value(t) for t in times]
    slopes = [step.slope(t) for t in times]
    nodes = []
    for i in range(len(times)):
        nodes.append((times[i], ys[i]))
        if i + 1 < len(times) and slopes[i] != 0 and (slopes[i] > 0) != (slopes[i + 1] > 0):
            t = mp.findroot(step.slope, (times[i], times[i + 1]), solver="anderson")
            nodes.append((t, step.value(t)))
    final = step.final

    def crossing(i, level):
        return mp.findroot(lambda t: step.value(t) - level, (nodes[i][0], nodes[i + 1][0]), solver="anderson")

    peak = max(nodes, key=lambda node: node[1])
    overshoot = max(mp.mpf(0), 100 * (peak[1] - final) / final)
    reach = next(i for i, node in enumerate(nodes) if node[1] >= final * mp.mpf("0.9"))
    t90 = crossing(reach - 1, final * mp.mpf("0.9")) if reach > 0 else mp.mpf(0)
    t10 = mp.mpf(0)
    for i in range(reach - 1, -1, -1):
        if nodes[i][1] < final / 10 <= nodes[i + 1][1]:
            t10 = crossing(i, final / 10)
            break

    def settling(fraction):
        band = fraction * final
        for i in range(len(nodes) - 2, -1, -1):
            if abs(nodes[i][1] - final) > band:
                return crossing(i, final + (band if nodes[i][1] > final else -band))
        return mp.mpf(0)

    return {"overshoot_percent": overshoot, "peak_time_s": peak[0] if overshoot > 0 else 0,
            "rise_start_s": t10, "rise_time_s": t90 - t10, "settling_1_s": settling(mp.mpf("0.01")),
            "settling_01_s": settling(mp.mpf("0.001"))}


def dominant(stage, opamp):
    """The dominant poles of one stage alone: (omega, Q), Q None for order 1."""
    model = Model([stage], opamp, 2 * mp.pi * 1000)
    poles = sorted(model.poles, key=abs)
    if stage[0] == 1:
        return abs(poles[0]), None
    pair = [p for p in poles if abs(mp.im(p)) > mp.mpf(10) ** -30 * abs(p)]
    if not pair:
        pair = poles[:2]
    b, c = -mp.re(pair[0] + pair[1]), mp.re(pair[0] * pair[1])
    return mp.sqrt(c), mp.sqrt(c) / b


# ---- the comparisons ----

def opamp_of(case):
    value = lambda x: None if x is None else exact(x)
    return (value(case["gbw_hz"]), value(case["a0"]), exact(case["ro"]))


def stages_of(case):
    return [(int(s[0]), exact(s[1]), exact(s[2]), exact(s[3]), exact(s[4])) for s in case["stages"]]


def check_points(case, model):
    for point in case["points"]:
        k, w = point["k"] - 1, 2 * mp.pi * exact(point["hz"])
        what = f"{case['name']} stage {k + 1} at {point['hz']} Hz"
        h, log_slope = model.response(k, w)
        close("gain", point["gain"], abs(h), 1e-12, what)
        phase = model.phase_deg(k, w)
        close("phase (degrees)", point["phase_deg"], phase, 1e-9, what, absolute=True)
        delay = -mp.re(log_slope)
        delay_scale = abs(model.response(k, mp.mpf(0))[1])
        close("group delay (of the DC delay)", point["delay_s"], delay, 1e-12 * delay_scale, what, absolute=True)


def check_case(case):
    name = case["name"]
    stages, opamp = stages_of(case), opamp_of(case)
    fc_nominal = exact(case["ideal_cutoff_hz"])
    model = Model(stages, opamp, 2 * mp.pi * fc_nominal)
    close("DC gain", case["dc_gain"], model.dc(), 1e-15, name)
    check_points(case, model)
    fc = cutoff(model, case["level"], case["ripple_db"], fc_nominal)
    close("cutoff", case["cutoff_hz"], fc, 1e-9, name)
    ideal = Model(stages, (None, None, mp.mpf(0)), 2 * mp.pi * fc_nominal)
    close("ideal cutoff", case["ideal_cutoff_hz"], cutoff(ideal, case["level"], case["ripple_db"], fc_nominal),
          1e-9, name)

    # The gain far above the cutoff: its limit, and its least local minimum.
    limit_model = abs(model.solve(mp.mpf(10) ** 25 * 2 * mp.pi * fc)[1][model.outputs[-1]])
    if case["limit"] == 0:
        # At 1e25 times the cutoff: what tends to 0 falls at least as 1/f.
        check(limit_model < mp.mpf(10) ** -20, f"{name}: a limit of {limit_model}, not 0")
    else:
        close("high-frequency limit", case["limit"], limit_model, 1e-12, name)
    top = 1e3 * max([abs(p) for p in model.poles] + [abs(z) for z in model.zeros[-1]])
    least = largest(lambda w: -model.gain(-1, w), lambda w: -model.log_slope(-1, w), 2 * mp.pi * fc, top, 4000)
    if case["lowest_gain_hz"] is None:
        check(least[1] == 0 or -least[0] > limit_model, f"{name}: a minimum below the limit at {least}")
    else:
        close("lowest gain", case["lowest_gain"], -least[0], 1e-9, name)
        close("lowest gain frequency", case["lowest_gain_hz"], least[1] / (2 * mp.pi), 1e-6, name)

    # Peaks and slew rates at each output.
    for k, output in enumerate(case["outputs"]):
        what = f"{name} output {k + 1}"
        peak = largest(lambda w: model.gain(k, w), lambda w: model.log_slope(k, w), 2 * mp.pi * fc / 1e4,
                       8 * mp.pi * fc * 4)
        close("peak gain", output["peak_gain"], peak[0], 1e-12, what)
        if output["peak_hz"] != 0:
            close("peak frequency", output["peak_hz"], peak[1] / (2 * mp.pi), 1e-6, what)
    check_step(case, model)
    if "compensation" in case:
        check_compensation(case, opamp)
    check_needed_gbw(case, stages, opamp, fc_nominal)
    check_slew(case, model, stages, opamp)


def check_step(case, model):
    name, figures = case["name"], case["step"]
    step = Step(model)
    check(figures["settles"], f"{name}: settles")
    close("step final", figures["final"], step.final, 1e-14, name)
    close("step initial (of final)", figures["initial"], step.value(0), 1e-12 * step.final, name, absolute=True)
    for t, y in case["values"] + case["samples"]:
        close("step value (of final)", y, step.value(exact(t)), 1e-12 * step.final, f"{name} at {t}", absolute=True)
    if name.startswith("linkwitz-riley"):  # repeated poles: also by the Talbot inversion of H(s)/s
        for t, y in case["values"][1:8:3]:
            h = lambda s: model.solve(s)[1][model.outputs[-1]] / s
            close("step value by Talbot (of final)", y, mp.invertlaplace(h, exact(t), method="talbot"),
                  1e-12 * step.final, f"{name} at {t}", absolute=True)
    want = step_figures(step)
    for key, value in want.items():
        if key == "overshoot_percent":
            close("overshoot (percent points)", figures[key], value, 1e-6, name, absolute=True)
        else:
            close("step time", figures[key], value, 1e-6, f"{name} {key}", absolute=value == 0)


def check_compensation(case, opamp):
    comp = case["compensation"]
    check(comp["failed_stage"] == 0, f"{case['name']}: compensation failed")
    for target, parts in zip(comp["targets"], comp["stages"]):
        order = int(target[0])
        stage = (order, exact(parts[0]), exact(parts[1] or 0), exact(parts[2]), exact(parts[3] or 0))
        omega, q = dominant(stage, opamp)
        close("compensated f0", omega / (2 * mp.pi), exact(target[1]), 1e-9, case["name"])
        if order == 2:
            close("compensated Q", q, exact(target[2]), 1e-9, case["name"])
    check(abs(comp["compensated_error"]) < abs(comp["plain_error"]) / 5,
          f"{case['name']}: compensation gains little: {comp}")


def figure_error(stages, opamp, case, fc_nominal, ideal_cutoff, ideal_q):
    model = Model(stages, opamp, 2 * mp.pi * fc_nominal)
    error = abs(cutoff(model, case["level"], case["ripple_db"], fc_nominal) / ideal_cutoff - 1)
    for stage, q in zip(stages, ideal_q):
        if stage[0] == 2:
            error = max(error, abs(dominant(stage, opamp)[1] / q - 1))
    return error


def check_needed_gbw(case, stages, opamp, fc_nominal):
    ideal_q = [dominant(s, (None, None, mp.mpf(0)))[1] for s in stages]
    ideal_cutoff = exact(case["ideal_cutoff_hz"])
    error = lambda amp: figure_error(stages, amp, case, fc_nominal, ideal_cutoff, ideal_q)
    limit = case["gbw_limit"]
    if limit != 0:  # no GBW is enough: A0 alone (open_loop_gain) or A0 with Ro
        unlimited = error((None, opamp[1], opamp[2]))
        gain_alone = error((None, opamp[1], mp.mpf(0)))
        check(unlimited > mp.mpf("0.01") and (gain_alone > mp.mpf("0.01")) == (limit == 1),
              f"{case['name']}: GBW limit {limit}: {unlimited} with Ro, {gain_alone} without")
        return
    gbw = exact(case["needed_gbw_hz"])
    above = error((gbw * (1 + mp.mpf(10) ** -8), opamp[1], opamp[2]))
    below = error((gbw * (1 - mp.mpf(10) ** -6), opamp[1], opamp[2]))
    check(above <= mp.mpf("0.01") < below, f"{case['name']}: needed GBW {gbw}: {above} above, {below} below")


def slew_rate(model, k, stages, opamp, fc):
    """The largest w |H_k| (1 V) up to its first local minimum above the highest dominant
    natural frequency of stages 1 to k; its limit when it still rises at the end."""
    highest = max(dominant(s, opamp)[0] for s in stages[:k + 1])
    top = max([abs(p) for p in model.poles] + [highest])
    value = lambda w: w * model.gain(k, w)
    slope = lambda w: 1 / w + model.log_slope(k, w) / 2
    low, high = 2 * mp.pi * fc / 1e4, 1e4 * top
    ratio = (high / low) ** (mp.mpf(1) / 6000)
    best, a, sa = (mp.mpf(0), None), low, slope(low)
    while a < high:
        b = a * ratio
        sb = slope(b)
        if sa > 0 and sb <= 0:
            w = mp.findroot(slope, (a, b), solver="anderson")
            if value(w) > best[0]:
                best = (value(w), w)
        if sa < 0 and sb >= 0 and b > highest:
            return best
        a, sa = b, sb
    if sa > 0:
        limit = value(mp.mpf(10) ** 30 * top)
        if limit > best[0]:
            best = (limit, None)
    return best


def check_slew(case, model, stages, opamp):
    fc = exact(case["ideal_cutoff_hz"])
    for k, output in enumerate(case["outputs"]):
        want, at = slew_rate(model, k, stages, opamp, fc)
        what = f"{case['name']} output {k + 1}"
        close("slew rate", output["slew_v_per_us"], want * mp.mpf(10) ** -6, 1e-12, what)
        if at is None:
            check(output["slew_hz"] is None, f"{what}: slew at {output['slew_hz']} Hz, not infinite")
        else:
            close("slew frequency", output["slew_hz"], at / (2 * mp.pi), 1e-6, what)


def main():
    dump = json.loads(subprocess.run([sys.argv[1]], check=True, capture_output=True, text=True).stdout)
    only = sys.argv[2] if len(sys.argv) > 2 else ""
    for case in dump["cases"]:
        if only in case["name"]:
            check_case(case)
    for kind, error in sorted(WORST.items()):
        print(f"largest {kind} error: {error:.3g}")
    print(f"{CHECKS[0]} checks, {len(FAILURES)} failures")
    for failure in FAILURES[:40]:
        print("FAIL", failure)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
