#include "kestrane/circuit/opamp.h"

#include "kestrane/circuit/step_response.h"

#include <cmath>
#include <numbers>

#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/polynomial.h"
#include "kestrane/numeric/portable_math.h"
#include "opamp_model.h"

namespace kestrane {

bool is_valid_opamp(const OpAmp& opamp) {
    return opamp.gbw_hz > 0 && opamp.open_loop_gain > 1 && opamp.output_resistance >= 0 &&
           std::isfinite(opamp.output_resistance);
}

namespace {

// 10^(db/20): exact for whole multiples of 20 dB up to 10^22, the portable exp otherwise.
double gain_from_db(double db) {
    const double decades = db / 20;
    if (decades == std::floor(decades) && decades >= 0 && decades <= 22) {
        double gain = 1;
        for (int k = 0; k < static_cast<int>(decades); ++k)
            gain *= 10;
        return gain;
    }
    constexpr double kLn10Over20 = 0x1.d791c5f888822p-4;  // ln(10)/20 (mpmath)
    return portable::exp(db * kLn10Over20);
}

}  // namespace

OpAmpReading opamp_from_fields(double gbw_mhz, double gain_db, double output_ohm) {
    OpAmpReading reading;
    constexpr double kHertzPerMegahertz = 1e6;
    // A GBW whose value in hertz leaves the double range is refused with the rest: no figure
    // or file may show an infinity that no one typed.
    if (!(gbw_mhz > 0 && std::isfinite(gbw_mhz * kHertzPerMegahertz))) {
        reading.refused = OpAmpField::gbw;
    } else if (!(gain_db > 0 && std::isfinite(gain_db))) {
        reading.refused = OpAmpField::open_loop_gain;
    } else if (!(output_ohm >= 0 && std::isfinite(output_ohm))) {
        reading.refused = OpAmpField::output_resistance;
    } else {
        reading.opamp = {gbw_mhz * kHertzPerMegahertz, gain_from_db(gain_db), output_ohm};
    }
    return reading;
}

double open_loop_gain_db(const OpAmp& opamp) {
    return decibels(opamp.open_loop_gain);
}

double decibels(double ratio) {
    return 20 * portable::log10(ratio);
}

TransferFunction transfer_function(const CircuitParts& parts, const OpAmp& opamp) {
    KESTRANE_EXPECT(is_buildable(parts) && is_valid_opamp(opamp));
    const double r1 = parts.R1;
    const double r2 = parts.R2;
    const double c1 = parts.C1;
    const double c2 = parts.C2;
    const double eps = 1 / opamp.open_loop_gain;
    const double g = 1 / (2 * std::numbers::pi * opamp.gbw_hz);
    const double a = r1 * c1;
    const double b = c2 * (r1 + r2);
    const double m = r1 * r2 * c1 * c2;
    const double k = r2 * c2;
    const double r = opamp.output_resistance * c1;
    TransferFunction h;
    h.numerator[0] = 1;
    h.numerator[1] = r * eps;
    h.numerator[2] = r * (g + eps * k);
    h.numerator[3] = r * g * k;
    h.denominator[0] = 1 + eps;
    h.denominator[1] = eps * a + b * (1 + eps) + g + eps * r;
    h.denominator[2] = m * (1 + eps) + a * g + b * (g + eps * r) + g * r;
    h.denominator[3] = m * g + b * g * r;
    return h;
}

double dc_gain(const TransferFunction& h) {
    return h.numerator[0] / h.denominator[0];
}

Cubic numerator_of(const TransferFunction& h) {
    return {{h.numerator[0], h.numerator[1], h.numerator[2], h.numerator[3]}};
}

Cubic denominator_of(const TransferFunction& h) {
    return {{h.denominator[0], h.denominator[1], h.denominator[2], h.denominator[3]}};
}

double nearest_power_of_two(double value) {
    int exponent = 0;
    std::frexp(value, &exponent);
    return std::ldexp(1.0, exponent);
}

double natural_angular_frequency(const TransferFunction& h) {
    return std::sqrt(h.denominator[0] / h.denominator[2]);
}

namespace {

// arg p(j w), continuous in w from 0 at w = 0, for a cubic with p0 > 0 and non-negative
// coefficients. The imaginary part w (p1 - p3 w^2) turns negative once, at w^2 = p1/p3; when
// the real part p0 - p2 w^2 has turned negative before (p1 p2 > p0 p3, all zeros in the left
// half-plane), the argument has passed pi and the principal value needs 2 pi more; otherwise
// the value stays in the fourth and third quadrants and never passes -pi.
double unwrapped_argument(const Cubic& p, double w) {
    const Complex v = value_at_jw(p, w);
    double angle = portable::atan2(v.im, v.re);
    if (v.im < 0 && p.c[1] * p.c[2] > p.c[0] * p.c[3]) angle += kExactTwoPi;
    return angle;
}

double real_part_of_ratio(Complex a, Complex b) {
    return (a / b).re;
}

}  // namespace

double log_gain_slope(const TransferFunction& h, double w) {
    const Cubic n = numerator_of(h);
    const Cubic d = denominator_of(h);
    // d ln|H(jw)|/dw = Re(j (N'/N - D'/D)) = Im(D'/D) - Im(N'/N).
    return (slope_at_jw(d, w) / value_at_jw(d, w)).im - (slope_at_jw(n, w) / value_at_jw(n, w)).im;
}

double gain_at_angular(const TransferFunction& h, double w) {
    return magnitude(value_at_jw(numerator_of(h), w)) /
           magnitude(value_at_jw(denominator_of(h), w));
}

ResponsePoint response_at(const TransferFunction& h, double hz) {
    const double w = kExactTwoPi * hz;
    const Cubic n = numerator_of(h);
    const Cubic d = denominator_of(h);
    const Complex nv = value_at_jw(n, w);
    const Complex dv = value_at_jw(d, w);
    const double phase = unwrapped_argument(n, w) - unwrapped_argument(d, w);
    const double delay =
        real_part_of_ratio(slope_at_jw(d, w), dv) - real_part_of_ratio(slope_at_jw(n, w), nv);
    constexpr double kDegreesPerRadian = 180 / std::numbers::pi;
    return {magnitude(nv) / magnitude(dv), phase * kDegreesPerRadian, delay};
}

double attenuation_db(const TransferFunction& h, double hz) {
    return -decibels(gain_at_angular(h, kExactTwoPi * hz) / dc_gain(h));
}

namespace {

// |p(j w)|^2 as a cubic in u = w^2: (p0 - p2 u)^2 + u (p1 - p3 u)^2.
Cubic squared_magnitude(const Cubic& p) {
    const double* c = p.c;
    return {
        {c[0] * c[0], c[1] * c[1] - 2 * c[0] * c[2], c[2] * c[2] - 2 * c[1] * c[3], c[3] * c[3]}};
}

}  // namespace

Cutoff cutoff_3db(const TransferFunction& h) {
    const Cubic n2 = squared_magnitude(numerator_of(h));
    const Cubic d2 = squared_magnitude(denominator_of(h));
    const double n0 = h.numerator[0];
    const double d0 = h.denominator[0];
    // G(u) = n0^2 |D|^2 - 2 d0^2 |N|^2, negative at u = 0; in U = u / scale.
    const double scale = nearest_power_of_two(d0 / h.denominator[2]);
    Cubic g;
    double power = 1;
    for (int k = 0; k < 4; ++k) {
        g.c[k] = (n0 * n0 * d2.c[k] - 2 * d0 * d0 * n2.c[k]) * power;
        power *= scale;
    }
    const PolynomialRoots roots = polynomial_roots(g);
    double least = std::numeric_limits<double>::infinity();
    for (int k = 0; k < roots.count; ++k) {
        const Complex z = roots.root[k];
        if (z.im == 0 && z.re > 0 && z.re < least) least = z.re;
    }
    if (!std::isfinite(least)) return {};
    // Settle the root on G itself where a bracket shows (a deflated root may be a few ulps
    // off).
    const auto f = [&g](double u) { return value_at(g, u); };
    const double below = least * (1 - 1e-9);
    const double above = least * (1 + 1e-9);
    const double f_below = f(below);
    const double f_above = f(above);
    if ((f_below < 0) != (f_above < 0)) least = bracketed_root(f, below, above, f_below, f_above);
    return {true, std::sqrt(least * scale) / kExactTwoPi};
}

PolynomialRoots poles_of(const TransferFunction& h) {
    // D is scaled to the natural frequency by a power of two, so the scalings are exact.
    const double scale = nearest_power_of_two(natural_angular_frequency(h));
    Cubic d = denominator_of(h);
    double power = 1;
    for (double& c : d.c) {
        c *= power;
        power *= scale;
    }
    PolynomialRoots roots = polynomial_roots(d);
    for (int k = 0; k < roots.count; ++k)
        roots.root[k] = scale * roots.root[k];
    roots.pair_b *= scale;
    roots.pair_c = roots.pair_c * scale * scale;
    return roots;
}

DominantPair dominant_pair(const TransferFunction& h) {
    const PolynomialRoots roots = poles_of(h);
    DominantPair pair{roots.pair_b, roots.pair_c};
    if (roots.count == 3 && roots.root[1].im == 0) {
        // Three real poles: the two of least magnitude.
        double p[3] = {roots.root[0].re, roots.root[1].re, roots.root[2].re};
        for (int i = 0; i < 3; ++i) {
            for (int j = i + 1; j < 3; ++j) {
                if (std::fabs(p[j]) < std::fabs(p[i])) std::swap(p[i], p[j]);
            }
        }
        pair = {-(p[0] + p[1]), p[0] * p[1]};
    }
    return pair;
}

double dominant_q(const TransferFunction& h) {
    const DominantPair pair = dominant_pair(h);
    return std::sqrt(pair.c) / pair.b;
}

namespace {

struct FigureReference {
    double cutoff_hz;
    double q;
};

// The larger relative departure of the cutoff and Q of `opamp` from `reference`; infinite
// without a cutoff.
double figure_error(const CircuitParts& parts, const OpAmp& opamp, const FigureReference& ref) {
    const TransferFunction h = transfer_function(parts, opamp);
    const Cutoff cutoff = cutoff_3db(h);
    if (!cutoff.found) return std::numeric_limits<double>::infinity();
    const double cutoff_error = std::fabs(cutoff.hz / ref.cutoff_hz - 1);
    const double q_error = std::fabs(dominant_q(h) / ref.q - 1);
    return std::fmax(cutoff_error, q_error);
}

bool passes(double error) {
    return error <= kFigureTolerance;
}

}  // namespace

NeededGbw needed_gbw(const CircuitParts& parts, const OpAmp& opamp) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const TransferFunction ideal = transfer_function(parts, kIdealOpAmp);
    const FigureReference ref{cutoff_3db(ideal).hz, dominant_q(ideal)};

    OpAmp unlimited = opamp;
    unlimited.gbw_hz = kInfinity;
    if (!passes(figure_error(parts, unlimited, ref))) {
        const bool gain_alone =
            !passes(figure_error(parts, {kInfinity, opamp.open_loop_gain, 0}, ref));
        return {gain_alone ? GbwLimit::open_loop_gain : GbwLimit::output_resistance, 0};
    }
    const auto error_at = [&](double gbw_hz) {
        OpAmp trial = opamp;
        trial.gbw_hz = gbw_hz;
        return figure_error(parts, trial, ref);
    };
    // A passing GBW above, stepping up if the figures only just pass without a pole: from
    // 2^40 (about 1e12) times the cutoff, where the pole moves the figures by about 1e-12, up
    // by factors of 2^10 at most 80 times, to 2^840 times the cutoff, past where any GBW is
    // finite for a cutoff above 2^-840 Hz.
    constexpr double kFirstPassing = 0x1p40;
    constexpr double kStepUp = 0x1p10;
    constexpr int kStepsUp = 80;
    // Down by octaves to the first failure: at most 200 of them, to 2^-160 of the cutoff,
    // where no op-amp keeps the figures within 1 %. Then a bisection on log GBW to 1e-9.
    constexpr int kOctavesDown = 200;
    constexpr double kRelativeWidth = 1e-9;
    double pass = ref.cutoff_hz * kFirstPassing;
    for (int step = 0; step < kStepsUp && !passes(error_at(pass)); ++step)
        pass *= kStepUp;
    if (!passes(error_at(pass))) return {GbwLimit::output_resistance, 0};
    double fail = pass / 2;
    for (int step = 0; step < kOctavesDown && passes(error_at(fail)); ++step) {
        pass = fail;
        fail /= 2;
    }
    if (passes(error_at(fail))) return {GbwLimit::reached, fail};  // passes everywhere
    while (pass / fail > 1 + kRelativeWidth) {
        const double mid = std::sqrt(pass * fail);
        if (passes(error_at(mid))) {
            pass = mid;
        } else {
            fail = mid;
        }
    }
    return {GbwLimit::reached, pass};
}

namespace {

// The largest magnitude of the poles and zeros of h, in rad/s (0 when it has none).
double largest_root_magnitude(const TransferFunction& h) {
    double largest = 0;
    for (const Cubic& p : {numerator_of(h), denominator_of(h)}) {
        if (degree(p) == 0) continue;
        const PolynomialRoots roots = polynomial_roots(p);
        for (int k = 0; k < roots.count; ++k)
            largest = std::fmax(largest, magnitude(roots.root[k]));
    }
    return largest;
}

// A grid of 8 points an octave.
constexpr double kGridRatio = 1.0905077326652577;  // 2^(1/8)

}  // namespace

SlewRate needed_slew_rate(const TransferFunction& h, double amplitude_v) {
    // The slope of ln(w |H(jw)|) is 1/w + d ln|H|/dw: positive at low frequencies, where the
    // gain is flat; its first sign change is the passband peak.
    // The walk starts three decades below the natural frequency, where the gain is flat and
    // the slope is about 1/w, and takes at most 600 steps of 2^(1/8): 75 octaves, to about
    // 4e19 times the natural frequency, beyond any peak of a stage with a real op-amp.
    constexpr double kStartBelowNatural = 1e-3;
    constexpr int kMostSteps = 600;
    constexpr double kPerMicrosecond = 1e-6;  // V/s to V/us
    const auto slope = [&h](double w) { return 1 / w + log_gain_slope(h, w); };
    const double w0 = natural_angular_frequency(h);
    double w = w0 * kStartBelowNatural;
    double s = slope(w);
    if (!(s > 0)) return {};
    for (int step = 0; step < kMostSteps; ++step) {
        const double next = w * kGridRatio;
        const double s_next = slope(next);
        if (s_next <= 0) {
            const double peak = bracketed_root(slope, w, next, s, s_next);
            const double rate = peak * gain_at_angular(h, peak) * amplitude_v;
            return {true, rate * kPerMicrosecond, peak / kExactTwoPi};
        }
        w = next;
        s = s_next;
    }
    return {};
}

StopbandFloor stopband_floor(const TransferFunction& h) {
    const Cutoff cutoff = cutoff_3db(h);
    const double start = cutoff.found ? kExactTwoPi * cutoff.hz : natural_angular_frequency(h);
    const double end = 1e3 * std::fmax(largest_root_magnitude(h), start);
    const auto slope = [&h](double w) { return log_gain_slope(h, w); };

    // The gain far above every pole and zero: N3/D3 with N and D of one degree, 0 when N's
    // degree is lower; the gain approaches it without reaching it.
    const int n_degree = degree(numerator_of(h));
    const int d_degree = degree(denominator_of(h));
    const double top_gain =
        n_degree == d_degree ? std::fabs(h.numerator[n_degree] / h.denominator[d_degree]) : 0.0;
    bool found = false;
    double least_gain = 0;
    double least_w = 0;
    double w = start;
    double s = slope(w);
    while (w < end) {
        const double next = w * kGridRatio;
        const double s_next = slope(next);
        if (s < 0 && s_next >= 0) {
            const double minimum = bracketed_root(slope, w, next, s, s_next);
            const double gain = gain_at_angular(h, minimum);
            if (!found || gain < least_gain) {
                found = true;
                least_gain = gain;
                least_w = minimum;
            }
        }
        w = next;
        s = s_next;
    }
    if (found && least_gain <= top_gain) return {true, least_gain, least_w / kExactTwoPi, top_gain};
    return {false, top_gain, 0, top_gain};
}

OpAmpFigures opamp_figures(const CircuitParts& parts, const OpAmp& opamp, double amplitude_v) {
    const TransferFunction h = transfer_function(parts, opamp);
    const TransferFunction ideal = transfer_function(parts, kIdealOpAmp);
    OpAmpFigures figures;
    figures.cutoff = cutoff_3db(h);
    figures.ideal_cutoff = cutoff_3db(ideal);
    figures.q = dominant_q(h);
    figures.ideal_q = dominant_q(ideal);
    figures.needed_gbw = needed_gbw(parts, opamp);
    figures.slew_rate = needed_slew_rate(h, amplitude_v);
    figures.floor = stopband_floor(h);
    figures.step = step_figures(parts, opamp);
    return figures;
}

}  // namespace kestrane
