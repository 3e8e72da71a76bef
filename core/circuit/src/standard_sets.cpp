#include "kestrane/circuit/standard_sets.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "circuit_model.h"
#include "kestrane/numeric/contract.h"
#include "standard_set_search.h"

// How the best set is found without trying every set of the neighbourhood (about 14 million
// for E192 resistors and capacitors).
//
// Write m = C1/C2, S = R1 + R2 and m0 = S^2 / (2 R1 R2). Then
//   Q = sqrt(m) sqrt(R1 R2) / S, so Q / Qt = sqrt(m / m0) with Qt = 1/sqrt(2);
//   fc = f0 g(Q) with g = cutoff_over_natural, and since 2 pi f0 = 1/sqrt(A) = 1/(Q B),
//   fc = h(Q) / (2 pi C2 S) with h(Q) = g(Q)/Q.
// h has its greatest value sqrt(2) at Qt and falls on either side: with q = 1/Q^2 and
// x = g^2 the root of x^2 + (q - 2) x - 1 = 0, d(x q)/dq = 2x (x - 1) / sqrt((q - 2)^2 + 4),
// whose sign is that of x - 1, and x falls with q through x = 1 at q = 2. So h rises on
// (0, Qt] and falls on [Qt, inf), and h -> 1 as Q -> 0.
//
// A set whose exact error is at most b therefore has
//   (1) Q in Qt [1 - b, 1 + b], that is m in m0 [(1 - b)^2, (1 + b)^2];
//   (2) h(Q) between h_low = min(h(Qt (1 - b)), h(Qt (1 + b))) and sqrt(2), and
//       fc in ft [1 - b, 1 + b], so C2 = h(Q) / (2 pi S fc) lies in
//       [h_low / (2 pi S ft (1 + b)), sqrt(2) / (2 pi S ft (1 - b))].
// For b >= 1 the lower ends of (1) and the upper end of (2) go (m >= 0, C2 unbounded) and
// h_low = min(1, h(Qt (1 + b))).
//
// The computed error of a set exceeds its exact error by at most a few units in the last
// place of 1 + error (a dozen rounded operations, each amplified at most by the slopes of
// g, which are at most sqrt(2)); kErrorSlack covers that many times over. So every set whose
// computed error is at most b has an exact error at most b' = b + (1 + b) kErrorSlack and
// lies in the windows of b'. Each window end is computed with a handful of roundings and
// widened outward by kWindowSlack, which covers them many times over.
//
// The search: for b = 2^-14, 2^-13, ..., evaluate every set of the neighbourhood inside the
// windows of b' (every R2; per R2 the C2 window; per C2 the C1 window). Once one of them has
// an error at most b, every set outside the windows has a computed error above b, so the
// least error found is the least of the whole neighbourhood, and ties are broken among all
// sets with that error since they are all inside. From b = 1 on the next bound is infinite:
// the windows then hold the whole neighbourhood, so the search always ends.
//
// A stage of a cascade aims at its natural frequency f0t and its own Q target Qt instead
// (stage_set_error: the larger of |f0/f0t - 1| and |Q/Qt - 1|). The same search serves it with
// the windows of that figure. With m = C1/C2 and S = R1 + R2 as above,
//   Q = sqrt(m R1 R2) / S, so Q / Qt = sqrt(m / m0) with m0 = Qt^2 S^2 / (R1 R2);
//   2 pi f0 = 1/sqrt(A) and Q = sqrt(A) / B give B = C2 S = 1 / (2 pi f0 Q).
// A set whose exact error is at most b therefore has
//   (1) m in m0 [(1 - b)^2, (1 + b)^2], as for the single stage;
//   (2) f0 Q within f0t Qt [(1 - b)^2, (1 + b)^2], so
//       C2 S in [1 / (2 pi f0t Qt (1 + b)^2), 1 / (2 pi f0t Qt (1 - b)^2)],
// the upper end unbounded for b >= 1. The slack, the rounding of the figure (a dozen
// operations, no cancellation but the final difference from 1) and the order of the bounds
// are those of the single stage, so the search is exact in the same way.
namespace kestrane {

std::string_view method_name(PartsMethod method) {
    return method == PartsMethod::best ? "best" : "nearest";
}

std::optional<PartsMethod> method_from_name(std::string_view name) {
    for (const PartsMethod method : kPartsMethods) {
        if (method_name(method) == name) return method;
    }
    return std::nullopt;
}
namespace {

constexpr double kFirstBound = 0x1p-14;
constexpr double kLastFiniteBound = 1;
constexpr double kErrorSlack = 1e-12;
constexpr double kWindowSlack = 1e-12;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

void list_members(PreferredSeries series, double nominal, double reach, MemberList& list) {
    list.count = preferred_members(series, nominal / reach, nominal * reach, list.value);
    KESTRANE_CHECK(list.count <= kMostNeighbours);
}

// h(Q) = g(Q)/Q; 0 for an infinite Q, 1 in the limit Q -> 0.
double cutoff_times_b(double q) {
    if (q == 0) return 1;
    return ratio_of_cutoff(q) / q;
}

// What a search aims at: the single stage's cutoff with Q 1/sqrt(2) (set_error), or a
// stage's natural frequency and Q (stage_set_error).
struct Aim {
    bool cutoff;  // true: set_error against target_hz; false: stage_set_error
    double target_hz;
    double q;  // the Q target of a stage; kTargetQ for the cutoff
};

double error_of(const CircuitParts& set, const Aim& aim) {
    return aim.cutoff ? set_error(set, aim.target_hz)
                      : stage_set_error(set, {aim.target_hz, aim.q});
}

// m0 of a resistor pair: the C1/C2 ratio that gives the aim's Q exactly.
double exact_ratio(const Aim& aim, double r1, double r2) {
    const double s = r1 + r2;
    if (aim.cutoff) return s * s / (2 * r1 * r2);
    return aim.q * aim.q * (s * s) / (r1 * r2);
}

// The windows of one bound b (see above).
struct Windows {
    double ratio_low;   // C1 / (C2 m0) from ...
    double ratio_high;  // ... to
    double c2s_low;     // C2 S from ...
    double c2s_high;    // ... to
};

// For the single stage's cutoff ft.
Windows cutoff_windows(double bound, double target_hz) {
    const double b = bound + (1 + bound) * kErrorSlack;
    const bool bounded = b < 1;
    const double q_low = bounded ? kTargetQ * (1 - b) : 0;
    const double h_low = std::fmin(cutoff_times_b(q_low), cutoff_times_b(kTargetQ * (1 + b)));
    Windows w;
    w.ratio_low = bounded ? (1 - b) * (1 - b) : 0;
    w.ratio_high = (1 + b) * (1 + b);
    w.c2s_low = h_low / (kExactTwoPi * target_hz * (1 + b));
    w.c2s_high = bounded ? std::numbers::sqrt2 / (kExactTwoPi * target_hz * (1 - b)) : kInfinity;
    return w;
}

// For a stage's f0t and Qt.
Windows natural_windows(double bound, double target_hz, double target_q) {
    const double b = bound + (1 + bound) * kErrorSlack;
    const bool bounded = b < 1;
    const double w0q = kExactTwoPi * target_hz * target_q;
    Windows w;
    w.ratio_low = bounded ? (1 - b) * (1 - b) : 0;
    w.ratio_high = (1 + b) * (1 + b);
    w.c2s_low = 1 / (w0q * w.ratio_high);
    w.c2s_high = bounded ? 1 / (w0q * w.ratio_low) : kInfinity;
    return w;
}

Windows windows_for(double bound, const Aim& aim) {
    return aim.cutoff ? cutoff_windows(bound, aim.target_hz)
                      : natural_windows(bound, aim.target_hz, aim.q);
}

// The members of `list` from `low` to `high`, widened by kWindowSlack.
std::span<const double> members_within(const MemberList& list, double low, double high) {
    const std::span<const double> all = list.members();
    const double from = low * (1 - kWindowSlack);
    const double to = high * (1 + kWindowSlack);
    const auto below = [](double member, double bound) { return member < bound; };
    const auto above = [](double bound, double member) { return bound < member; };
    const auto first = std::lower_bound(all.begin(), all.end(), from, below);
    const auto last = std::upper_bound(first, all.end(), to, above);
    return {first, last};
}

struct Best {
    double error = kInfinity;
    CircuitParts parts;
    int evaluated = 0;
};

void consider(const CircuitParts& set, const Aim& aim, Best& best) {
    const double error = error_of(set, aim);
    ++best.evaluated;
    if (goes_before(error, set, best.error, best.parts)) {
        best.error = error;
        best.parts = set;
    }
}

// Every set of the neighbourhood inside the windows.
void search_windows(const Neighbourhood& n, const Windows& w, const Aim& aim, Best& best) {
    const double r1 = n.r1;
    for (const double r2 : n.r2.members()) {
        const double s = r1 + r2;
        const double m0 = exact_ratio(aim, r1, r2);
        for (const double c2 : members_within(n.c2, w.c2s_low / s, w.c2s_high / s)) {
            const double m0c2 = m0 * c2;
            for (const double c1 : members_within(n.c1, w.ratio_low * m0c2, w.ratio_high * m0c2)) {
                consider({n.r1, r2, c1, c2}, aim, best);
            }
        }
    }
}

// The search over growing bounds (see above).
BestSet search(const Neighbourhood& n, const Aim& aim) {
    Best best;
    for (double bound = kFirstBound;; bound = bound >= kLastFiniteBound ? kInfinity : 2 * bound) {
        search_windows(n, windows_for(bound, aim), aim, best);
        if (best.error <= bound) break;
    }
    if (best.error == kInfinity) return {};
    return {true, best.parts, best.error, best.evaluated};
}

}  // namespace

namespace {

// The neighbourhood of R1's member `r1` and of R2, C1 and C2 (`parts`' own R1 unused).
Neighbourhood neighbourhood_around(double r1, const CircuitParts& parts, SeriesPair series) {
    Neighbourhood n;
    n.r1 = r1;
    list_members(series.resistors, parts.R2, kR2Reach, n.r2);
    list_members(series.capacitors, parts.C1, kCapacitorReach, n.c1);
    list_members(series.capacitors, parts.C2, kCapacitorReach, n.c2);
    return n;
}

}  // namespace

Neighbourhood neighbourhood(const FilterComponents& search_parts, SeriesPair series) {
    return neighbourhood_around(nearest_preferred(search_parts.R1, series.resistors),
                                circuit_parts(search_parts), series);
}

Neighbourhood neighbourhood(const CircuitParts& exact, SeriesPair series) {
    return neighbourhood_around(nearest_member(exact.R1, series.resistors), exact, series);
}

double set_error(const CircuitParts& parts, double target_hz) {
    if (!is_buildable(parts)) return std::numeric_limits<double>::quiet_NaN();
    const CircuitCoefficients c = circuit_coefficients(parts);
    const double cutoff_error = std::fabs(cutoff_of(c) / target_hz - 1);
    const double q_error = std::fabs(quality_of(c) / kTargetQ - 1);
    return std::fmax(cutoff_error, q_error);
}

double stage_set_error(const CircuitParts& parts, const StageTarget& target) {
    if (!is_buildable(parts)) return std::numeric_limits<double>::quiet_NaN();
    const CircuitCoefficients c = circuit_coefficients(parts);
    const double root_a = std::sqrt(c.a);
    const double natural_error = std::fabs(1 / (kExactTwoPi * root_a) / target.natural_hz - 1);
    const double q_error = std::fabs(root_a / c.b / target.q - 1);
    return std::fmax(natural_error, q_error);
}

BestSet best_standard_set(const FilterComponents& search_parts, double target_hz,
                          SeriesPair series) {
    if (!is_buildable(circuit_parts(search_parts)) || !is_positive_finite(target_hz)) return {};
    return search(neighbourhood(search_parts, series), {true, target_hz, kTargetQ});
}

BestSet best_stage_set(const CircuitParts& exact, const StageTarget& target, SeriesPair series) {
    if (!is_buildable(exact) || !is_positive_finite(target.natural_hz) ||
        !is_positive_finite(target.q)) {
        return {};
    }
    return search(neighbourhood(exact, series), {false, target.natural_hz, target.q});
}

CircuitParts standard_parts(const FilterComponents& exact, PreferredSeries resistor_series,
                            PreferredSeries capacitor_series) {
    return {nearest_preferred(exact.R1, resistor_series),
            nearest_preferred(exact.R2, resistor_series),
            nearest_preferred(exact.C1, capacitor_series),
            nearest_preferred(exact.C2, capacitor_series)};
}

std::optional<CircuitParts> shown_set(const FilterComponents& search_parts, double target_hz,
                                      PartsMethod method, SeriesPair series) {
    if (!is_buildable(circuit_parts(search_parts)) || !is_positive_finite(target_hz)) {
        return std::nullopt;
    }
    if (method == PartsMethod::nearest) {
        return standard_parts(search_parts, series.resistors, series.capacitors);
    }
    const BestSet best = best_standard_set(search_parts, target_hz, series);
    if (!best.found) return std::nullopt;
    return best.parts;
}

SetFigures set_figures(const CircuitParts& parts, double target_hz) {
    SetFigures figures;
    figures.cutoff_hz = real_cutoff_hz(parts);
    figures.cutoff_error_percent = 100 * (figures.cutoff_hz - target_hz) / target_hz;
    figures.q = quality_factor(parts);
    figures.q_error_percent = 100 * (figures.q - kTargetQ) / kTargetQ;
    figures.natural_hz = natural_frequency_hz(parts);
    return figures;
}

}  // namespace kestrane
