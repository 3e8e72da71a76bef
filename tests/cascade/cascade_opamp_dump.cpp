// Prints, as one JSON object, what the cascade library makes of a few cascades with a real
// op-amp: each stage's parts, responses at every stage's output, the cutoff, the needed GBW,
// the gain far above the cutoff, peaks and slew rates at each output, the step figures and
// values, and compensated parts. cascade_opamp_reference.py compares them with a nodal
// analysis of the same circuit at 50 digits.
#include <cmath>
#include <cstdio>
#include <vector>

#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_step.h"
#include "kestrane/cascade/compensation.h"

namespace {

using namespace kestrane;

// `"name": value, ` (null for non-finite values); the last field of an object omits the comma.
void field(const char* name, double value, const char* after = ", ") {
    if (std::isfinite(value)) {
        std::printf("\"%s\": %.17g%s", name, value, after);
    } else {
        std::printf("\"%s\": null%s", name, after);
    }
}

// A number, or null when it is not finite.
void number(double value, const char* before = "") {
    if (std::isfinite(value)) {
        std::printf("%s%.17g", before, value);
    } else {
        std::printf("%snull", before);
    }
}

struct Case {
    const char* name;
    CascadeRequest request;
    double cutoff_hz;
    double r_ohm;
    OpAmp opamp;
    bool compensate;
};

constexpr double kInfinity = std::numeric_limits<double>::infinity();

const Case kCases[] = {
    {"chebyshev5-realistic", {Response::chebyshev, 5, 0.5}, 1000, 10e3, {10e6, 1e5, 50}, false},
    {"chebyshev5-slow", {Response::chebyshev, 5, 0.5}, 1000, 10e3, {20e3, 1e4, 200}, true},
    {"bessel8-realistic", {Response::bessel, 8}, 2000, 4.7e3, {10e6, 1e5, 75}, false},
    {"bessel8-slow", {Response::bessel, 8}, 2000, 4.7e3, {50e3, 1e5, 100}, true},
    {"linkwitz-riley4-ro0", {Response::linkwitz_riley, 4}, 1000, 10e3, {1e6, 1e5, 0}, false},
    {"linkwitz-riley4-ideal", {Response::linkwitz_riley, 4}, 1000, 10e3, kIdealOpAmp, false},
    {"chebyshev4-edge-slow",
     {Response::chebyshev, 4, 1, ChebyshevEdge::ripple_edge},
     500,
     22e3,
     {30e3, 1e5, 100},
     true},
    {"butterworth3-no-pole", {Response::butterworth, 3}, 1000, 1e3, {kInfinity, 300, 2000}, false},
};

void print_points(std::span<const StageCircuit> stages, const OpAmp& opamp, double fc) {
    const double ratios[] = {0, 0.01, 0.3, 0.7, 0.95, 1, 1.05, 1.5, 3, 10, 100, 1e4};
    std::printf("\"points\": [");
    bool first = true;
    for (int k = 1; k <= static_cast<int>(stages.size()); ++k) {
        for (double ratio : ratios) {
            const ResponsePoint p = opamp_stage_output_point(stages, opamp, k, ratio * fc);
            std::printf("%s{\"k\": %d, ", first ? "" : ", ", k);
            first = false;
            field("hz", ratio * fc);
            field("gain", p.gain);
            field("phase_deg", p.phase_deg);
            field("delay_s", p.group_delay_s, "}");
        }
    }
    std::printf("],\n ");
}

void print_outputs(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    std::printf("\"outputs\": [");
    for (int k = 1; k <= static_cast<int>(stages.size()); ++k) {
        const Peak peak = opamp_stage_peak(stages, opamp, k);
        const SlewRate slew = opamp_stage_slew_rate(stages, opamp, k, 1);
        std::printf("%s{", k > 1 ? ", " : "");
        field("peak_gain", peak.gain);
        field("peak_hz", peak.hz);
        field("slew_v_per_us", slew.found ? slew.v_per_us : NAN);
        field("slew_hz", slew.at_hz, "}");
    }
    std::printf("],\n ");
}

void print_step(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    const CascadeStepFigures s = cascade_step_figures(stages, opamp);
    std::printf("\"step\": {\"settles\": %s, ", s.settles ? "true" : "false");
    field("final", s.final_value);
    field("initial", s.initial_value);
    field("overshoot_percent", s.overshoot_percent);
    field("peak_time_s", s.peak_time_s);
    field("rise_start_s", s.rise_start_s);
    field("rise_time_s", s.rise_time_s);
    field("settling_1_s", s.settling_1_percent_s);
    field("settling_01_s", s.settling_01_percent_s);
    field("span_s", s.span_s, "},\n ");
    std::printf("\"values\": [");
    for (int i = 0; i <= 8; ++i) {
        const double t = s.span_s * i / 8;
        std::printf("%s[%.17g, %.17g]", i ? ", " : "", t, cascade_step_value(stages, opamp, t));
    }
    std::printf("],\n \"samples\": [");
    const std::vector<StepSample> samples = cascade_step_samples(stages, opamp, s.span_s, 201);
    for (std::size_t i = 0; i < samples.size(); i += 25) {
        std::printf("%s[%.17g, %.17g]", i ? ", " : "", samples[i].t_s, samples[i].value);
    }
    std::printf("],\n ");
}

void print_compensation(const Case& c, const CascadeDesign& design) {
    const CompensatedCascade compensated = compensated_cascade(design, c.r_ohm, c.opamp);
    std::printf("\"compensation\": {\"failed_stage\": %d, \"targets\": [",
                compensated.failed_stage);
    for (int k = 0; k < design.stage_count; ++k) {
        std::printf("%s[%d", k ? ", " : "", design.stages[k].order);
        number(design.stages[k].f0_hz, ", ");
        number(design.stages[k].q, ", ");
        std::printf("]");
    }
    std::printf("], \"stages\": [");
    for (int k = 0; k < compensated.circuit.stage_count; ++k) {
        const CircuitParts& p = compensated.circuit.stages[k].parts;
        std::printf("%s[", k ? ", " : "");
        number(p.R1);
        number(p.R2, ", ");
        number(p.C1, ", ");
        number(p.C2, ", ");
        std::printf("]");
    }
    const CompensationGain gain = compensation_gain(design, c.r_ohm, c.opamp);
    std::printf("], ");
    field("plain_error", gain.plain_error);
    field("compensated_error", gain.compensated_error, "},\n ");
}

void print_case(const Case& c) {
    const CascadeDesign design = design_cascade(c.request, c.cutoff_hz);
    const CascadeCircuit circuit = cascade_circuit(design, c.r_ohm);
    const std::span<const StageCircuit> stages = stages_of(circuit);
    const CutoffRule rule = cutoff_rule(c.request);
    std::printf("{\"name\": \"%s\", \"level\": %d, ", c.name, static_cast<int>(rule.level));
    field("ripple_db", rule.ripple_db);
    field("gbw_hz", c.opamp.gbw_hz);
    field("a0", c.opamp.open_loop_gain);
    field("ro", c.opamp.output_resistance);
    std::printf("\n \"stages\": [");
    for (std::size_t k = 0; k < stages.size(); ++k) {
        const CircuitParts& p = stages[k].parts;
        std::printf("%s[%d, %.17g, %.17g, %.17g, %.17g]", k ? ", " : "", stages[k].order, p.R1,
                    stages[k].order == 2 ? p.R2 : 0.0, p.C1, stages[k].order == 2 ? p.C2 : 0.0);
    }
    std::printf("],\n ");
    field("dc_gain", cascade_dc_gain(stages, c.opamp));
    field("cutoff_hz", opamp_cutoff_hz(stages, c.opamp, rule));
    field("ideal_cutoff_hz", opamp_cutoff_hz(stages, kIdealOpAmp, rule));
    const NeededGbw gbw = opamp_cascade_needed_gbw(stages, c.opamp, rule);
    std::printf("\"gbw_limit\": %d, ", static_cast<int>(gbw.limit));
    field("needed_gbw_hz", gbw.gbw_hz);
    const HighFrequencyGain high = opamp_high_frequency_gain(stages, c.opamp);
    field("lowest_gain", high.lowest_gain);
    field("lowest_gain_hz", high.lowest_gain_hz);
    field("limit", high.limit);
    std::printf("\n ");
    print_points(stages, c.opamp, c.cutoff_hz);
    print_outputs(stages, c.opamp);
    print_step(stages, c.opamp);
    if (c.compensate) print_compensation(c, design);
    field("end", 0, "}");
}

}  // namespace

int main() {
    std::printf("{\"cases\": [\n");
    bool first = true;
    for (const Case& c : kCases) {
        if (!first) std::printf(",\n");
        first = false;
        print_case(c);
    }
    std::printf("]}\n");
    return 0;
}
