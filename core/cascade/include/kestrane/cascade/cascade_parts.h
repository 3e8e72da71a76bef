// Building a cascade from standard parts: the set for each stage (the best one, or each part
// rounded to its nearest member), what the built cascade does with ideal op-amps (each stage's
// f0 and Q, the cascade's cutoff and, for a Chebyshev, its ripple), the ranges and the yield
// its tolerances allow (cascade_tolerance.h), and warnings about the stages that are hard to
// build. Everything is the real circuit's: exact 2 pi, parts as doubles, standard parts the
// doubles nearest their decimal values.
#pragma once

#include <optional>
#include <span>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_tolerance.h"
#include "kestrane/circuit/cutoff_yield.h"
#include "kestrane/circuit/standard_sets.h"
#include "kestrane/circuit/tolerance_ranges.h"

namespace kestrane {

// How far the best first-order set looks around the exact parts: R within a factor of 5 of
// the exact R (as R2 of a second-order stage), C within a factor of 4.
inline constexpr double kFirstOrderResistorReach = kR2Reach;

// The best first-order set: R and C and |f0/target - 1|.
struct FirstOrderSet {
    bool found = false;
    double R = 0;
    double C = 0;
    double error = 0;
};

// The pair of standard parts with the least |f0/target_hz - 1|, f0 = 1/(2 pi R C), over R any
// member of series.resistors from r_ohm/5 to 5 r_ohm and C any member of series.capacitors
// from c_farad/4 to 4 c_farad; of pairs with equal error (pairs whose decimal products R C are
// equal, such as 22 kohm with 1 nF and 220 kohm with 100 pF) the smallest R.
// Exact: for each R only the two members on either side of the C that would be exact can win
// (the error falls towards that C and rises beyond, and members lie more than 1 % apart), and
// those four are tried. Not found when an input is not positive and finite or a list is empty.
FirstOrderSet best_first_order_set(double r_ohm, double c_farad, double target_hz,
                                   SeriesPair series);

// The best set of one stage around resistors of `r1_ohm` ohms: for order 2 best_stage_set
// around exact_stage_parts against the stage's f0 and Q (R1 the member nearest r1_ohm); for
// order 1 best_first_order_set (R2 and C2 not a number). Parts not a number when there is no
// set (an invalid stage or r1_ohm).
StageCircuit best_stage_parts(const Stage& stage, double r1_ohm, SeriesPair series);

// Each exact part of one stage rounded to its nearest member (nearest_member), on its own.
StageCircuit nearest_stage_parts(const Stage& stage, double r1_ohm, SeriesPair series);

// Every stage of `design` built with `method`; no stages when the design has none, r1_ohm is
// not positive and finite, or some stage has no set.
CascadeCircuit standard_cascade(const CascadeDesign& design, double r1_ohm, PartsMethod method,
                                SeriesPair series);

// A built stage as the cascade's Stage record: f0 (natural_frequency_hz, or 1/(2 pi R1 C1) for
// order 1) and Q (quality_factor; not a number for order 1).
Stage built_stage(const StageCircuit& stage);

struct StageFigures {
    int order = 2;
    double f0_hz = 0;
    double f0_error_percent = 0;  // 100 (f0 - target) / target, the design stage's f0
    double q = 0;                 // not a number for order 1
    double q_error_percent = 0;   // 100 (Q - target) / target; not a number for order 1
};

struct CascadeFigures {
    int stage_count = 0;
    StageFigures stages[kMaxStages];
    // cascade_cutoff_hz of the built stages under the design's rule (cutoff_rule), and its
    // error against the design's cutoff, 100 (fc - design.cutoff_hz) / design.cutoff_hz.
    double cutoff_hz = 0;
    double cutoff_error_percent = 0;
    // A Chebyshev's ripple as built (passband_ripple_db); not a number for other families.
    double ripple_db = 0;
};

// The ripple the built stages reach over the design's passband, in dB: 20 log10 of the
// greatest over the least gain from 0 Hz up to the ideal design's ripple edge (its
// cascade_cutoff_hz under the ripple-edge rule; the design's own cutoff for a Chebyshev asked
// for its ripple edge), gain_range_up_to. The ideal design gives its ripple; a build's gain
// that falls short at the band's end, dips deeper or peaks higher gives more. Not a number for
// a design that is not a Chebyshev or invalid stages.
double passband_ripple_db(const CascadeDesign& design, std::span<const Stage> built);

// The figures of `built` (as many stages as `design`, valid) against `design`; no stages when
// they do not match.
CascadeFigures cascade_figures(const CascadeDesign& design, std::span<const StageCircuit> built);

// --- Warnings ---

// A unity-gain stage needs C1/C2 = 4 Q^2 (R1 = R2); above this it is hard to build well: the
// capacitors' tolerances and the op-amp's input capacitance move Q, and one capacitor is tiny or
// the other huge (a Chebyshev of 3 dB ripple at order 10 has Q 35, a ratio of 4900).
inline constexpr double kLargestCapacitorRatio = 100;

enum class StageWarningKind {
    // The ratio 4 Q^2 lies outside the ratios C1/C2 that the capacitor series gives with C1
    // and C2 each within a factor of 4 of the exact parts: value is 4 Q^2, limit the nearest
    // reachable ratio. The stage gets the best set there is.
    ratio_out_of_reach,
    // The ratio 4 Q^2 exceeds kLargestCapacitorRatio: value 4 Q^2, limit 100.
    ratio_above_limit,
    // A part outside its practical range (practical_parts.h): value the part in ohms or
    // farads, limit the end passed.
    impractical_part,
};

enum class StagePart { R1, R2, C1, C2 };
enum class StagePartSet { exact, standard };

struct StageWarning {
    StageWarningKind kind = StageWarningKind::impractical_part;
    int stage = 0;                           // 1 to the number of stages
    StagePart part = StagePart::R1;          // impractical_part only
    StagePartSet set = StagePartSet::exact;  // impractical_part only
    double value = 0;
    double limit = 0;
};

// Two ratio warnings and eight parts per stage at most.
inline constexpr int kMostStageWarnings = 10 * kMaxStages;

struct StageWarnings {
    int count = 0;
    StageWarning warning[kMostStageWarnings];

    std::span<const StageWarning> list() const {
        return {warning, static_cast<std::size_t>(count)};
    }
};

// The warnings of a cascade: for every second-order stage in order, its ratio warnings; then
// every stage's exact parts outside their practical range (R1, R2, C1, C2 of each stage in
// order; a first-order stage has R1 and C1), then the standard set's the same way. `exact` and
// `standard` have the design's stages (`standard` may have none: no set, no warnings of its
// own).
StageWarnings stage_warnings(const CascadeDesign& design, const CascadeCircuit& exact,
                             const CascadeCircuit& standard, SeriesPair series);

// --- Everything together ---

struct CascadeParts {
    // False when there is nothing to build: a design without stages, an r1_ohm that is not
    // positive and finite, or a stage without a set; then nothing else is filled in.
    bool buildable = false;
    PartsMethod method = PartsMethod::best;
    SeriesPair series;
    CascadeCircuit exact;    // cascade_circuit(design, r1_ohm)
    CascadeCircuit shown;    // standard_cascade for the method
    CascadeFigures figures;  // of the shown set
    StageWarnings warnings;
    // With tolerances that pass are_tolerances: the range of the build cutoff and its yield
    // against the design's cutoff, under build_cutoff of the shown set.
    bool ranges_made = false;
    PartTolerances tolerances;
    BuildCutoff build_cutoff;
    CascadeCutoffRange cutoff_range;
    CutoffYield yield;
};

// The parts of `design` around resistors of `r1_ohm` ohms with `method` from `series`, their
// figures and warnings, and with `tolerances` the range and the yield (none without them, or
// for tolerances that fail are_tolerances).
CascadeParts cascade_parts(const CascadeDesign& design, double r1_ohm, PartsMethod method,
                           SeriesPair series, std::optional<PartTolerances> tolerances);

// Adds to `parts` (made by cascade_parts for `design`) the range and the yield of `tolerances`,
// as cascade_parts does; none without a set to build, or for tolerances that are none or fail
// are_tolerances. For a face that asks again when only a tolerance changes.
void add_cascade_tolerances(CascadeParts& parts, const CascadeDesign& design,
                            std::optional<PartTolerances> tolerances);

// The plotted bands of `parts` at `hz` into `bands` (as long, checked as a precondition):
// cascade_response_bands over the box of its shown set and tolerances; not-a-number bands when
// it has no ranges.
void cascade_response_bands(const CascadeParts& parts, std::span<const double> hz,
                            std::span<ResponseBand> bands);

}  // namespace kestrane
