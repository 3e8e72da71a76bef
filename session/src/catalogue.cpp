#include "kestrane/session/catalogue.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "kestrane/circuit/preferred_values.h"
#include "kestrane/model/response.h"
#include "kestrane/session/outputs.h"
#include "kestrane/text/cascade_text.h"
#include "kestrane/text/field_read.h"
#include "kestrane/text/messages.h"
#include "kestrane/text/number_writer.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/page_text.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/report_text.h"

namespace kestrane {
namespace {

using Product = Session::Product;

constexpr std::string_view kUnits[] = {"",    "Hz",     "s", "\u03A9", "F",        "%",
                                       "rad", "\u00B0", "V", "dB",     "V/\u00B5s"};

double flag(bool value) {
    return value ? 1.0 : 0.0;
}

// --- What the entries read ---

// True with a made design of the search (not a cascade).
bool search_made(Session& s) {
    return !s.is_cascade() && s.made();
}

const FilterComponents& design_parts(Session& s) {
    static const FilterComponents kNone{};
    return search_made(s) ? s.design().components : kNone;
}

const DesignTargets& targets(Session& s) {
    static const DesignTargets kNone{};
    return search_made(s) ? s.design().targets : kNone;
}

// The cascade when it was made.
const CascadeOutcome* made_cascade(Session& s) {
    const CascadeOutcome* outcome = s.cascade();
    return outcome && outcome->made() ? outcome : nullptr;
}

// The design's cutoff in hertz: the search's target or the cascade's; 0 without a design.
double design_cutoff_hz(Session& s) {
    if (const CascadeOutcome* c = made_cascade(s)) return c->design.cutoff_hz;
    return targets(s).cutoff_hz;
}

double design_r1(Session& s) {
    if (const CascadeOutcome* c = made_cascade(s)) return c->r1_ohm;
    return design_parts(s).R1;
}

// The stage whose Q error is the largest in magnitude (1 to the stage count), 0 without one.
int largest_q_error_stage(const CascadeParts& parts) {
    int largest = 0;
    for (int k = 0; k < parts.figures.stage_count; ++k) {
        const StageFigures& f = parts.figures.stages[k];
        if (f.order != 2) continue;
        if (largest == 0 ||
            std::fabs(f.q_error_percent) >
                std::fabs(parts.figures.stages[largest - 1].q_error_percent)) {
            largest = k + 1;
        }
    }
    return largest;
}

// A cascade's standard parts in the single stage's report: the options, whether there is a set,
// the built cascade's cutoff and its error, the largest stage Q error (q is 0: a cascade has
// no one Q), and with tolerances the cutoff range and the yield. Its warnings are the stages'
// own (stage_warning_line).
PartsReport as_parts_report(const CascadeReport& cascade) {
    const CascadeParts& parts = cascade.parts;
    PartsReport report;
    report.options.method = parts.method;
    report.options.series = parts.series;
    report.options.tolerances = parts.ranges_made ? parts.tolerances : PartTolerances{NAN, NAN};
    report.buildable = parts.buildable;
    if (!parts.buildable) return report;
    report.figures.cutoff_hz = parts.figures.cutoff_hz;
    report.figures.cutoff_error_percent = parts.figures.cutoff_error_percent;
    const int worst = largest_q_error_stage(parts);
    report.figures.q_error_percent =
        worst > 0 ? parts.figures.stages[worst - 1].q_error_percent : 0;
    report.ranges_made = parts.ranges_made;
    report.cutoff_range_hz = parts.cutoff_range.hz;
    report.yield = parts.yield;
    return report;
}

// The report the parts and ranges groups read: the single stage's, or the cascade's.
std::optional<PartsReport> report(Session& s) {
    if (s.is_cascade()) {
        const CascadeReport* cascade = s.cascade_report();
        return cascade ? std::optional(as_parts_report(*cascade)) : std::nullopt;
    }
    const PartsReport* r = s.parts();
    return r ? std::optional(*r) : std::nullopt;
}

bool has_set(Session& s) {
    const std::optional<PartsReport> r = report(s);
    return r && r->buildable;
}

CircuitParts shown(Session& s) {
    const std::optional<PartsReport> r = report(s);
    return r && r->buildable ? r->shown : CircuitParts{};
}

SetFigures figures(Session& s) {
    const std::optional<PartsReport> r = report(s);
    return r && r->buildable ? r->figures : SetFigures{};
}

bool has_ranges(Session& s) {
    const std::optional<PartsReport> r = report(s);
    return r && r->buildable && r->ranges_made;
}

PartsReport ranges(Session& s) {
    return has_ranges(s) ? *report(s) : PartsReport{};
}

double yield_percent(Session& s, int band) {
    return has_ranges(s) ? report(s)->yield.percent(band) : 0;
}

const CascadeParts* cascade_parts_of(Session& s) {
    const CascadeReport* c = s.is_cascade() ? s.cascade_report() : nullptr;
    return c ? &c->parts : nullptr;
}

// A cascade's step figures in the single stage's record (a cascade that does not settle has
// none).
StepFigures as_step_figures(const CascadeStepFigures& c) {
    if (!c.settles) return {};
    return {c.final_value, c.initial_value,        c.overshoot_percent,     c.peak_time_s,
            c.rise_time_s, c.settling_1_percent_s, c.settling_01_percent_s, c.span_s};
}

// A cascade's op-amp figures in the single stage's record: its cutoff, needed GBW, the slew
// rate at its output, the lowest gain above the cutoff and the high-frequency limit.
OpAmpFigures as_opamp_figures(const CascadeOpAmpFigures& c, const CascadeStepFigures& step) {
    OpAmpFigures f;
    f.cutoff = {std::isfinite(c.cutoff_hz), c.cutoff_hz};
    f.ideal_cutoff = {std::isfinite(c.ideal_cutoff_hz), c.ideal_cutoff_hz};
    f.needed_gbw = c.needed_gbw;
    if (c.stage_count > 0) f.slew_rate = c.slew_rate[c.stage_count - 1];
    const HighFrequencyGain& high = c.high_frequency;
    f.floor.rises = std::isfinite(high.lowest_gain_hz);
    f.floor.gain = high.lowest_gain;
    f.floor.rise_hz = f.floor.rises ? high.lowest_gain_hz : 0;
    f.floor.limit_gain = high.limit;
    f.step = as_step_figures(step);
    return f;
}

bool has_opamp(Session& s) {
    return s.is_cascade() ? s.cascade_opamp() != nullptr : s.opamp_figures() != nullptr;
}

OpAmpFigures amp(Session& s) {
    if (s.is_cascade()) {
        const CascadeOpAmpFigures* figures = s.cascade_opamp();
        return figures ? as_opamp_figures(*figures, s.cascade_step()->with_opamp) : OpAmpFigures{};
    }
    const OpAmpFigures* figures = s.opamp_figures();
    return figures ? *figures : OpAmpFigures{};
}

bool has_step(Session& s) {
    return s.is_cascade() ? s.cascade_step() != nullptr : s.step() != nullptr;
}

StepFigures step_with_opamp(Session& s) {
    if (s.is_cascade()) {
        const CascadeSteps* steps = s.cascade_step();
        return steps ? as_step_figures(steps->with_opamp) : StepFigures{};
    }
    const StepResponses* step = s.step();
    return step ? step->with_opamp : StepFigures{};
}

StepFigures step_ideal(Session& s) {
    if (s.is_cascade()) {
        const CascadeSteps* steps = s.cascade_step();
        return steps ? as_step_figures(steps->ideal) : StepFigures{};
    }
    const StepResponses* step = s.step();
    return step ? step->ideal : StepFigures{};
}

double step_span(Session& s) {
    if (s.is_cascade()) return s.cascade_step() ? s.cascade_step()->span_s : 0;
    return s.step() ? s.step()->span_s : 0;
}

std::string component_line(const CircuitParts& c, int which) {
    switch (which) {
        case 0:
            return r1_line(c.R1);
        case 1:
            return r2_line(c.R2);
        case 2:
            return c1_line(c.C1);
        default:
            return c2_line(c.C2);
    }
}

std::string design_line(Session& s, int which) {
    return search_made(s) ? component_line(circuit_parts(s.design().components), which) : "";
}

std::string parts_line(Session& s, int which) {
    return has_set(s) && !s.is_cascade() ? component_line(shown(s), which) : "";
}

// Every warning of the report, one a line, "\n" between them: the single stage's, or the
// cascade's, each naming its stage.
std::string warnings_text(Session& s) {
    std::vector<std::string> lines;
    if (const CascadeParts* parts = cascade_parts_of(s)) {
        if (!parts->buildable) lines.push_back("No circuit to build: no standard set for every stage");
        for (const StageWarning& warning : parts->warnings.list())
            lines.push_back(stage_warning_line(warning));
    } else if (const std::optional<PartsReport> r = report(s)) {
        for (const BuildWarning& warning : r->warnings)
            lines.push_back(warning_line(warning));
    }
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

// The cascade's line of its largest stage Q error: "Largest stage Q error: stage 3, +0.52 %".
std::string largest_q_error_line(const CascadeParts& parts) {
    const int worst = largest_q_error_stage(parts);
    if (worst == 0) return "Largest stage Q error: none (no second-order stage)";
    return "Largest stage Q error: stage " + std::to_string(worst) + ", " +
           percent_text(parts.figures.stages[worst - 1].q_error_percent) + " %";
}

// The op-amp's line `which`: 0 the cutoff, 1 the needed GBW, 2 the slew rate (at a cascade's
// output), 3 the lowest gain above the cutoff, 4 the high-frequency limit.
std::string opamp_line(Session& s, std::size_t which) {
    const double amplitude = s.amplitude().value_or(1);
    if (s.is_cascade()) {
        const CascadeOpAmpFigures* figures = s.cascade_opamp();
        if (!figures) return "";
        const std::vector<std::string> lines = cascade_opamp_lines(
            *figures, s.cascade_step()->with_opamp, s.cascade()->design.request, amplitude);
        // The cascade's lines: cutoff, GBW, one a stage, lowest gain, limit, the step's.
        const auto stages = static_cast<std::size_t>(figures->stage_count);
        const std::size_t at[] = {0, 1, 1 + stages, 2 + stages, 3 + stages};
        return lines[at[which]];
    }
    const OpAmpFigures* figures = s.opamp_figures();
    if (!figures) return "";
    return opamp_figure_lines(*figures, amplitude)[which];
}

std::string step_line(Session& s, std::string (*line)(const StepFigures&)) {
    return has_step(s) ? line(step_with_opamp(s)) : "";
}

std::span<const double> values(const std::vector<double>& list) {
    return list;
}

double cascade_figure(Session& s, double (*read)(const CascadeOutcome&)) {
    const CascadeOutcome* c = made_cascade(s);
    return c ? read(*c) : 0;
}

std::string cascade_line(Session& s, std::string (*line)(Session&, const CascadeOutcome&)) {
    const CascadeOutcome* c = made_cascade(s);
    return c ? line(s, *c) : std::string();
}

// Stage K's own curve (1 to kMaxStages), empty when there is no such stage.
template <std::size_t K>
const Curve& stage_curve(Session& s) {
    static const Curve kNone{};
    const std::vector<Curve>& curves = s.stage_curves();
    return curves.size() >= K ? curves[K - 1] : kNone;
}

// The search's design when it was refused, or null.
const Design* refused_search(Session& s) {
    return !s.is_cascade() && s.has_design() && !s.made() ? &s.design() : nullptr;
}

// A design field's stored value: the cutoff in kHz (`cutoff`) or R1, as the search keeps it in
// single precision; the cascade keeps both as read.
double stored_input(Session& s, bool cutoff) {
    if (!s.has_design()) return 0;
    if (s.is_cascade()) return cutoff ? s.design_inputs().first : s.design_inputs().second;
    return cutoff ? double{s.design().fc_khz} : double{s.design().components.R1};
}

std::string stored_line(Session& s, bool cutoff) {
    if (!s.has_design() || s.is_cascade()) return "";
    const double read = cutoff ? s.design_inputs().first : s.design_inputs().second;
    return cutoff ? stored_note("the cutoff", "kHz", read, stored_input(s, true))
                  : stored_note("R1", "Ohm", read, stored_input(s, false));
}

// Which setting a refused cascade names: 1 the cutoff, 2 R1, 4 the order, 8 the ripple, 16
// the ripple edge, 32 the specification; 0 when it was made.
int cascade_refused_setting(const CascadeOutcome& c) {
    switch (c.refusal) {
        case CascadeRefusal::none:
            return 0;
        case CascadeRefusal::cutoff:
            return 1;
        case CascadeRefusal::resistor:
            return 2;
        case CascadeRefusal::specification:
        case CascadeRefusal::order:
            return 32;
        case CascadeRefusal::request:
            break;
    }
    switch (c.request_error) {
        case RequestError::order_out_of_range:
        case RequestError::odd_linkwitz_riley:
            return 4;
        case RequestError::edge_without_chebyshev:
            return 16;
        default:
            return 8;
    }
}

// The fields a refused design names, as cascade_refused_setting numbers them: the search's
// cutoff and R1 as design_field_refusal concerns them.
double refused_fields(Session& s) {
    if (s.is_cascade()) {
        const CascadeOutcome* c = s.cascade();
        return c ? cascade_refused_setting(*c) : 0;
    }
    const Design* d = refused_search(s);
    if (!d) return 0;
    const bool cutoff = !design_field_refusal(d->refusal, true, stored_input(s, true)).empty();
    const bool r1 = !design_field_refusal(d->refusal, false, stored_input(s, false)).empty();
    return (cutoff ? 1 : 0) + (r1 ? 2 : 0);
}

// Why the design refuses the cutoff (`cutoff`) or R1: the search's field refusal, or the
// cascade's refusal when it names that field.
std::string field_refusal(Session& s, bool cutoff) {
    if (s.is_cascade()) {
        const int mask = static_cast<int>(refused_fields(s));
        return (mask & (cutoff ? 1 : 2)) != 0 ? cascade_refusal_text(s) : "";
    }
    const Design* d = refused_search(s);
    return d ? design_field_refusal(d->refusal, cutoff, stored_input(s, cutoff)) : "";
}

// The cascade's gain at its cutoff in dB from 1 (its DC gain): -3.0103 dB, -6.0206 dB for a
// Linkwitz-Riley, or the ripple below the largest gain at the ripple band's edge.
double cutoff_level_db(const CascadeOutcome& c) {
    const CutoffRule rule = cutoff_rule(c.design.request);
    switch (rule.level) {
        case CutoffLevel::half_power:
            return decibels(std::sqrt(0.5));
        case CutoffLevel::half_amplitude:
            return decibels(0.5);
        case CutoffLevel::ripple_edge:
            break;
    }
    return decibels(c.peaks[c.design.stage_count - 1].gain) - rule.ripple_db;
}

// A specification's mark: "fp: loss 1 dB" at the passband edge (`passband`) or "fs: loss 42.1
// dB" at the stopband edge, the exact design's loss from its largest gain.
std::string specification_mark(Session& s, bool passband) {
    const CascadeOutcome* c = made_cascade(s);
    if (!c || !s.specification()) return "";
    const double loss = passband ? c->passband_loss_db : c->stopband_loss_db;
    return std::string(passband ? "fp" : "fs") + ": loss " + format_number(loss) + " dB";
}

double specification_hz(Session& s, bool passband) {
    const PassStopSpec* spec = s.specification();
    if (!made_cascade(s) || !spec) return 0;
    return passband ? spec->passband_hz : spec->stopband_hz;
}

// Whether the slew rate is found but leaves the double range.
bool slew_overflows(Session& s) {
    return has_opamp(s) && amp(s).slew_rate.found && !std::isfinite(amp(s).slew_rate.v_per_us);
}

// --- The tables ---

std::uint64_t files_stamp(Session& s) {
    if (s.is_cascade()) {
        // The set is made again whenever the cascade is, so its stamp stands for both; a
        // refused cascade has only its own.
        const std::uint64_t cascade = s.stamp(Product::cascade);
        const std::uint64_t set = s.stamp(Product::cascade_parts);
        if (cascade == 0) return 0;
        return ((set != 0 ? set : cascade) << 42) ^ (s.stamp(Product::cascade_ranges) << 21) ^
               s.stamp(Product::cascade_step);
    }
    const std::uint64_t parts = s.stamp(Product::parts);
    const std::uint64_t ranges = s.stamp(Product::ranges);
    const std::uint64_t step = s.stamp(Product::step);
    // Distinct for distinct stamps while each stays below 2^21 (two million products made).
    return parts == 0 ? 0 : (parts << 42) ^ (ranges << 21) ^ step;
}

const GroupEntry kGroups[] = {
    {"design", [](Session& s) { return s.stamp(Product::design); }},
    {"deviation", [](Session& s) { return s.stamp(Product::deviation); }},
    {"parts",
     [](Session& s) {
         return s.stamp(s.is_cascade() ? Product::cascade_parts : Product::parts);
     }},
    {"ranges",
     [](Session& s) {
         return s.stamp(s.is_cascade() ? Product::cascade_ranges : Product::ranges);
     }},
    {"opamp",
     [](Session& s) { return s.stamp(s.is_cascade() ? Product::cascade_opamp : Product::opamp); }},
    {"attenuation", [](Session& s) { return s.stamp(Product::attenuation); }},
    {"step",
     [](Session& s) { return s.stamp(s.is_cascade() ? Product::cascade_step : Product::step); }},
    {"files", files_stamp},
    {"samples", [](Session& s) { return s.stamp(Product::design_curve); }},
    {"circuit", [](Session& s) { return s.stamp(Product::circuit_curve); }},
    {"bands", [](Session& s) { return s.stamp(Product::band_curves); }},
    {"opamp_curve", [](Session& s) { return s.stamp(Product::opamp_curve); }},
    {"step_curves", [](Session& s) { return s.stamp(Product::step_curves); }},
    {"cascade", [](Session& s) { return s.stamp(Product::cascade); }},
    {"stages",
     [](Session& s) {
         return (s.stamp(Product::cascade) << 32) ^ s.stamp(Product::cascade_parts);
     }},
    {"stage_opamp", [](Session& s) { return s.stamp(Product::cascade_opamp); }},
    {"stage_curves", [](Session& s) { return s.stamp(Product::stage_curves); }},
};

const FigureEntry kFigures[] = {
    {"design", "made", "", false, [](Session& s) { return flag(s.made()); }},
    {"design", "R1", "\u03A9", true, design_r1},
    {"design", "R2", "\u03A9", true, [](Session& s) { return double{design_parts(s).R2}; }},
    {"design", "C1", "F", true, [](Session& s) { return double{design_parts(s).C1}; }},
    {"design", "C2", "F", true, [](Session& s) { return double{design_parts(s).C2}; }},
    {"design", "cutoff_hz", "Hz", true, design_cutoff_hz},
    {"design", "flat_top_hz", "Hz", false,
     [](Session& s) { return double{targets(s).flat_top_hz}; }},
    {"design", "passband_edge_hz", "Hz", true,
     [](Session& s) { return search_made(s) ? double{s.design().passband_edge_hz} : 0.0; }},
    {"design", "stored_fc_khz", "", false, [](Session& s) { return stored_input(s, true); }},
    {"design", "stored_r1_ohm", "\u03A9", false, [](Session& s) { return stored_input(s, false); }},
    {"design", "refused_fields", "", false, refused_fields},
    {"deviation", "made", "", false,
     [](Session& s) { return flag(s.half_deviation().has_value()); }},
    {"deviation", "half_deviation_rad", "rad", false,
     [](Session& s) { return s.half_deviation().value_or(0); }},
    {"parts", "made", "", false, [](Session& s) { return flag(report(s).has_value()); }},
    {"parts", "buildable", "", false, [](Session& s) { return flag(has_set(s)); }},
    {"parts", "R1", "\u03A9", true, [](Session& s) { return shown(s).R1; }},
    {"parts", "R2", "\u03A9", true, [](Session& s) { return shown(s).R2; }},
    {"parts", "C1", "F", true, [](Session& s) { return shown(s).C1; }},
    {"parts", "C2", "F", true, [](Session& s) { return shown(s).C2; }},
    {"parts", "cutoff_hz", "Hz", true, [](Session& s) { return figures(s).cutoff_hz; }},
    {"parts", "cutoff_error_percent", "%", false,
     [](Session& s) { return figures(s).cutoff_error_percent; }},
    {"parts", "q", "", false, [](Session& s) { return figures(s).q; }},
    {"parts", "q_error_percent", "%", false, [](Session& s) { return figures(s).q_error_percent; }},
    {"parts", "natural_hz", "Hz", true, [](Session& s) { return figures(s).natural_hz; }},
    {"parts", "ripple_db", "dB", false,
     [](Session& s) {
         const CascadeParts* parts = cascade_parts_of(s);
         return parts && parts->buildable ? parts->figures.ripple_db : 0.0;
     }},
    {"parts", "warnings", "", false,
     [](Session& s) { return report(s) ? static_cast<double>(report(s)->warnings.size()) : 0.0; }},
    {"ranges", "made", "", false, [](Session& s) { return flag(has_ranges(s)); }},
    {"ranges", "cutoff_low_hz", "Hz", true,
     [](Session& s) { return ranges(s).cutoff_range_hz.low; }},
    {"ranges", "cutoff_high_hz", "Hz", true,
     [](Session& s) { return ranges(s).cutoff_range_hz.high; }},
    {"ranges", "q_low", "", false, [](Session& s) { return ranges(s).q_range.low; }},
    {"ranges", "q_high", "", false, [](Session& s) { return ranges(s).q_range.high; }},
    {"ranges", "yield_draws", "", false,
     [](Session& s) { return static_cast<double>(ranges(s).yield.draws); }},
    {"ranges", "yield_1_percent", "%", false, [](Session& s) { return yield_percent(s, 0); }},
    {"ranges", "yield_2_percent", "%", false, [](Session& s) { return yield_percent(s, 1); }},
    {"ranges", "yield_5_percent", "%", false, [](Session& s) { return yield_percent(s, 2); }},
    {"opamp", "made", "", false, [](Session& s) { return flag(has_opamp(s)); }},
    {"opamp", "cutoff_found", "", false, [](Session& s) { return flag(amp(s).cutoff.found); }},
    {"opamp", "cutoff_hz", "Hz", true, [](Session& s) { return amp(s).cutoff.hz; }},
    {"opamp", "ideal_cutoff_hz", "Hz", false, [](Session& s) { return amp(s).ideal_cutoff.hz; }},
    {"opamp", "q", "", false, [](Session& s) { return amp(s).q; }},
    {"opamp", "ideal_q", "", false, [](Session& s) { return amp(s).ideal_q; }},
    {"opamp", "gbw_reached", "", false,
     [](Session& s) {
         return flag(has_opamp(s) && amp(s).needed_gbw.limit == GbwLimit::reached);
     }},
    {"opamp", "needed_gbw_hz", "Hz", true, [](Session& s) { return amp(s).needed_gbw.gbw_hz; }},
    {"opamp", "slew_found", "", false, [](Session& s) { return flag(amp(s).slew_rate.found); }},
    {"opamp", "slew_v_per_us", "V/\u00B5s", true,
     [](Session& s) { return amp(s).slew_rate.v_per_us; }},
    {"opamp", "slew_at_hz", "Hz", false, [](Session& s) { return amp(s).slew_rate.at_hz; }},
    {"opamp", "lowest_gain", "", false, [](Session& s) { return amp(s).floor.gain; }},
    {"opamp", "lowest_found", "", false, [](Session& s) { return flag(amp(s).floor.rises); }},
    {"opamp", "lowest_hz", "Hz", true, [](Session& s) { return amp(s).floor.rise_hz; }},
    {"opamp", "limit_gain", "", false, [](Session& s) { return amp(s).floor.limit_gain; }},
    {"attenuation", "made", "", false,
     [](Session& s) { return flag(s.attenuation().has_value()); }},
    {"attenuation", "attenuation_db", "dB", false,
     [](Session& s) { return s.attenuation() ? s.attenuation()->db : 0.0; }},
    {"step", "made", "", false, [](Session& s) { return flag(has_step(s)); }},
    {"step", "final_value", "V", false, [](Session& s) { return step_with_opamp(s).final_value; }},
    {"step", "overshoot_percent", "%", false,
     [](Session& s) { return step_with_opamp(s).overshoot_percent; }},
    {"step", "peak_time_s", "s", false, [](Session& s) { return step_with_opamp(s).peak_time_s; }},
    {"step", "rise_time_s", "s", true, [](Session& s) { return step_with_opamp(s).rise_time_s; }},
    {"step", "settling_1_percent_s", "s", true,
     [](Session& s) { return step_with_opamp(s).settling_1_percent_s; }},
    {"step", "settling_01_percent_s", "s", true,
     [](Session& s) { return step_with_opamp(s).settling_01_percent_s; }},
    {"step", "span_s", "s", false, step_span},
    {"step", "ideal_final_value", "V", false, [](Session& s) { return step_ideal(s).final_value; }},
    {"step", "ideal_overshoot_percent", "%", false,
     [](Session& s) { return step_ideal(s).overshoot_percent; }},
    {"step", "ideal_peak_time_s", "s", false, [](Session& s) { return step_ideal(s).peak_time_s; }},
    {"step", "ideal_rise_time_s", "s", false, [](Session& s) { return step_ideal(s).rise_time_s; }},
    {"step", "ideal_settling_1_percent_s", "s", false,
     [](Session& s) { return step_ideal(s).settling_1_percent_s; }},
    {"step", "ideal_settling_01_percent_s", "s", false,
     [](Session& s) { return step_ideal(s).settling_01_percent_s; }},
    {"files", "made", "", false, [](Session& s) { return flag(!s.netlist().empty()); }},
    {"samples", "made", "", false, [](Session& s) { return flag(!s.frequencies().empty()); }},
    {"circuit", "made", "", false,
     [](Session& s) { return flag(!s.circuit_curve().gain.empty()); }},
    {"bands", "made", "", false,
     [](Session& s) { return flag(!s.band_curves().lowest.gain.empty()); }},
    {"opamp_curve", "made", "", false,
     [](Session& s) { return flag(!s.opamp_curve().gain.empty()); }},
    {"step_curves", "made", "", false,
     [](Session& s) { return flag(!s.step_curves().t_s.empty()); }},
    {"cascade", "made", "", false, [](Session& s) { return flag(made_cascade(s)); }},
    {"cascade", "is_cascade", "", false, [](Session& s) { return flag(s.is_cascade()); }},
    {"cascade", "order", "", false,
     [](Session& s) {
         return cascade_figure(s, [](const CascadeOutcome& c) {
             return static_cast<double>(c.design.request.order);
         });
     }},
    {"cascade", "stage_count", "", false,
     [](Session& s) {
         return cascade_figure(
             s, [](const CascadeOutcome& c) { return static_cast<double>(c.design.stage_count); });
     }},
    {"cascade", "cutoff_hz", "Hz", true,
     [](Session& s) {
         return cascade_figure(s, [](const CascadeOutcome& c) { return c.design.cutoff_hz; });
     }},
    {"cascade", "passband_loss_db", "dB", false,
     [](Session& s) {
         return cascade_figure(s, [](const CascadeOutcome& c) { return c.passband_loss_db; });
     }},
    {"cascade", "stopband_loss_db", "dB", false,
     [](Session& s) {
         return cascade_figure(s, [](const CascadeOutcome& c) { return c.stopband_loss_db; });
     }},
    {"cascade", "needed_order", "", false,
     [](Session& s) {
         const CascadeOutcome* c = s.cascade();
         return c && c->order ? static_cast<double>(c->order->order) : 0.0;
     }},
    {"cascade", "compensated_error_percent", "%", false,
     [](Session& s) {
         return cascade_figure(s, [](const CascadeOutcome& c) {
             return c.compensation ? 100 * c.compensation->compensated_error : 0.0;
         });
     }},
    {"cascade", "uncompensated_error_percent", "%", false,
     [](Session& s) {
         return cascade_figure(s, [](const CascadeOutcome& c) {
             return c.compensation ? 100 * c.compensation->plain_error : 0.0;
         });
     }},
    {"cascade", "cutoff_level_db", "dB", false,
     [](Session& s) { return cascade_figure(s, cutoff_level_db); }},
    {"cascade", "passband_hz", "Hz", true, [](Session& s) { return specification_hz(s, true); }},
    {"cascade", "stopband_hz", "Hz", true, [](Session& s) { return specification_hz(s, false); }},
    {"stages", "made", "", false, [](Session& s) { return flag(made_cascade(s)); }},
    {"stage_opamp", "made", "", false, [](Session& s) { return flag(s.cascade_opamp()); }},
    {"stage_curves", "made", "", false, [](Session& s) { return flag(!s.stage_curves().empty()); }},
};

const LineEntry kLines[] = {
    {"design", "refusal",
     [](Session& s) {
         if (!s.has_design() || s.made()) return std::string();
         if (s.is_cascade()) return cascade_refusal_text(s);
         return std::string(refusal_message(s.design().refusal));
     }},
    {"design", "cutoff_refusal", [](Session& s) { return field_refusal(s, true); }},
    {"design", "r1_refusal", [](Session& s) { return field_refusal(s, false); }},
    {"design", "filter_refusal",
     [](Session& s) {
         const CascadeOutcome* c = s.is_cascade() ? s.cascade() : nullptr;
         return c && cascade_refused_setting(*c) >= 4 ? cascade_refusal_text(s) : std::string();
     }},
    {"design", "cutoff_stored", [](Session& s) { return stored_line(s, true); }},
    {"design", "r1_stored", [](Session& s) { return stored_line(s, false); }},
    {"design", "r1", [](Session& s) { return design_line(s, 0); }},
    {"design", "r2", [](Session& s) { return design_line(s, 1); }},
    {"design", "c1", [](Session& s) { return design_line(s, 2); }},
    {"design", "c2", [](Session& s) { return design_line(s, 3); }},
    {"design", "passband",
     [](Session& s) { return search_made(s) ? passband_line(s.design().passband_edge_hz) : ""; }},
    {"deviation", "deviation",
     [](Session& s) {
         const std::optional<double> half = s.half_deviation();
         return half ? deviation_line(*half) : "";
     }},
    {"parts", "heading",
     [](Session& s) { return has_set(s) ? parts_heading_line(report(s)->options) : ""; }},
    {"parts", "ripple",
     [](Session& s) {
         const CascadeParts* parts = cascade_parts_of(s);
         const bool chebyshev = parts && parts->buildable &&
                                s.cascade_request()->response == Response::chebyshev;
         return chebyshev ? ripple_reached_line(parts->figures.ripple_db) : std::string();
     }},
    {"parts", "r1", [](Session& s) { return parts_line(s, 0); }},
    {"parts", "r2", [](Session& s) { return parts_line(s, 1); }},
    {"parts", "c1", [](Session& s) { return parts_line(s, 2); }},
    {"parts", "c2", [](Session& s) { return parts_line(s, 3); }},
    {"parts", "cutoff",
     [](Session& s) {
         if (!has_set(s)) return std::string();
         if (const CascadeParts* parts = cascade_parts_of(s)) {
             return built_cutoff_line(parts->figures, *s.cascade_request());
         }
         return real_cutoff_line(figures(s));
     }},
    {"parts", "q",
     [](Session& s) {
         if (!has_set(s)) return std::string();
         if (const CascadeParts* parts = cascade_parts_of(s)) return largest_q_error_line(*parts);
         return q_line(figures(s));
     }},
    {"parts", "natural",
     [](Session& s) {
         return has_set(s) && !s.is_cascade() ? natural_frequency_line(figures(s)) : std::string();
     }},
    {"parts", "warnings", warnings_text},
    {"ranges", "cutoff_range",
     [](Session& s) {
         const PartsReport r = ranges(s);
         return has_ranges(s) ? cutoff_range_line(r.options.tolerances, r.cutoff_range_hz, true)
                              : std::string();
     }},
    {"ranges", "q_range",
     [](Session& s) {
         if (!has_ranges(s)) return std::string();
         if (s.is_cascade()) {
             // A cascade's #q-spread: each second-order stage's Q over its tolerance box.
             const CascadeReport& c = *s.cascade_report();
             std::vector<int> orders;
             for (const StageCircuit& stage : stages_of(c.parts.shown))
                 orders.push_back(stage.order);
             return stage_q_ranges_line(c.parts.tolerances, orders, c.stage_q_range);
         }
         const PartsReport r = ranges(s);
         return q_range_line(r.options.tolerances, r.q_range);
     }},
    {"ranges", "yield",
     [](Session& s) { return has_ranges(s) ? yield_line(ranges(s).yield) : std::string(); }},
    {"opamp", "cutoff", [](Session& s) { return opamp_line(s, 0); }},
    {"opamp", "gbw", [](Session& s) { return opamp_line(s, 1); }},
    {"opamp", "slew",
     [](Session& s) { return slew_overflows(s) ? std::string() : opamp_line(s, 2); }},
    {"opamp", "slew_refusal",
     [](Session& s) {
         return slew_overflows(s) ? slew_refusal(s.amplitude().value_or(1)) : std::string();
     }},
    {"opamp", "lowest", [](Session& s) { return opamp_line(s, 3); }},
    {"opamp", "limit", [](Session& s) { return opamp_line(s, 4); }},
    {"attenuation", "attenuation",
     [](Session& s) {
         const std::optional<Session::Attenuation> a = s.attenuation();
         return a && std::isfinite(a->db) ? attenuation_line(a->hz, a->db) : std::string();
     }},
    {"attenuation", "refusal",
     [](Session& s) {
         const std::optional<Session::Attenuation> a = s.attenuation();
         return a && !std::isfinite(a->db) ? attenuation_refusal(a->hz) : std::string();
     }},
    {"step", "overshoot", [](Session& s) { return step_line(s, overshoot_line); }},
    {"step", "rise", [](Session& s) { return step_line(s, rise_line); }},
    {"step", "settle", [](Session& s) { return step_line(s, settle_line); }},
    {"cascade", "heading",
     [](Session& s) {
         return cascade_line(s, [](Session&, const CascadeOutcome& c) {
             return cascade_heading_line(c.design, c.r1_ohm);
         });
     }},
    {"cascade", "cutoff_meaning",
     [](Session& s) {
         return cascade_line(
             s, [](Session&, const CascadeOutcome& c) { return cutoff_meaning(c.design.request); });
     }},
    {"cascade", "passband_mark", [](Session& s) { return specification_mark(s, true); }},
    {"cascade", "stopband_mark", [](Session& s) { return specification_mark(s, false); }},
    {"cascade", "ripple_note",
     [](Session& s) {
         return cascade_line(s, [](Session&, const CascadeOutcome& c) {
             return ripple_note_line(c.design.request);
         });
     }},
    {"cascade", "specification",
     [](Session& s) {
         return cascade_line(s, [](Session& session, const CascadeOutcome& c) {
             const PassStopSpec* spec = session.specification();
             return spec ? specification_line(*spec, c.design.request.order, c.passband_loss_db,
                                              c.stopband_loss_db)
                         : std::string();
         });
     }},
    {"cascade", "compensation",
     [](Session& s) {
         return cascade_line(s, [](Session&, const CascadeOutcome& c) {
             return c.compensation ? compensation_line(*c.compensation, c.compensation_failed_stage)
                                   : std::string();
         });
     }},
    {"cascade", "lines",
     [](Session& s) {
         return cascade_line(s, [](Session&, const CascadeOutcome& c) {
             std::string text;
             for (const std::string& line : cascade_lines(c.design, c.exact, c.peaks, c.r1_ohm)) {
                 if (!text.empty()) text += '\n';
                 text += line;
             }
             return text;
         });
     }},
    {"files", "netlist", [](Session& s) { return s.netlist(); }},
    {"files", "netlist_refusal", [](Session& s) { return s.netlist_refusal(); }},
    {"files", "bom", [](Session& s) { return s.bill_of_materials(); }},
};

const ArrayEntry kArrays[] = {
    {"samples", "hz", "Hz", "frequency_hz", [](Session& s) { return values(s.frequencies()); }},
    {"samples", "gain", "", "gain", [](Session& s) { return values(s.design_curve().gain); }},
    {"samples", "gain_db", "dB", "gain_db",
     [](Session& s) { return values(s.design_curve().gain_db); }},
    {"samples", "phase_deg", "\u00B0", "phase_deg",
     [](Session& s) { return values(s.design_curve().phase_deg); }},
    {"samples", "group_delay_s", "s", "group_delay_s",
     [](Session& s) { return values(s.design_curve().group_delay_s); }},
    {"circuit", "gain", "", "parts_gain",
     [](Session& s) { return values(s.circuit_curve().gain); }},
    {"circuit", "gain_db", "dB", "parts_gain_db",
     [](Session& s) { return values(s.circuit_curve().gain_db); }},
    {"circuit", "phase_deg", "\u00B0", "parts_phase_deg",
     [](Session& s) { return values(s.circuit_curve().phase_deg); }},
    {"circuit", "group_delay_s", "s", "parts_group_delay_s",
     [](Session& s) { return values(s.circuit_curve().group_delay_s); }},
    {"bands", "gain_lowest", "", "parts_gain_lowest",
     [](Session& s) { return values(s.band_curves().lowest.gain); }},
    {"bands", "gain_highest", "", "parts_gain_highest",
     [](Session& s) { return values(s.band_curves().highest.gain); }},
    {"bands", "gain_lowest_db", "dB", "",
     [](Session& s) { return values(s.band_curves().lowest.gain_db); }},
    {"bands", "gain_highest_db", "dB", "",
     [](Session& s) { return values(s.band_curves().highest.gain_db); }},
    {"bands", "phase_lowest_deg", "\u00B0", "parts_phase_lowest_deg",
     [](Session& s) { return values(s.band_curves().lowest.phase_deg); }},
    {"bands", "phase_highest_deg", "\u00B0", "parts_phase_highest_deg",
     [](Session& s) { return values(s.band_curves().highest.phase_deg); }},
    {"bands", "group_delay_lowest_s", "s", "parts_group_delay_lowest_s",
     [](Session& s) { return values(s.band_curves().lowest.group_delay_s); }},
    {"bands", "group_delay_highest_s", "s", "parts_group_delay_highest_s",
     [](Session& s) { return values(s.band_curves().highest.group_delay_s); }},
    {"opamp_curve", "gain", "", "opamp_gain",
     [](Session& s) { return values(s.opamp_curve().gain); }},
    {"opamp_curve", "gain_db", "dB", "opamp_gain_db",
     [](Session& s) { return values(s.opamp_curve().gain_db); }},
    {"opamp_curve", "phase_deg", "\u00B0", "opamp_phase_deg",
     [](Session& s) { return values(s.opamp_curve().phase_deg); }},
    {"opamp_curve", "group_delay_s", "s", "opamp_group_delay_s",
     [](Session& s) { return values(s.opamp_curve().group_delay_s); }},
    {"step_curves", "t_s", "s", "", [](Session& s) { return values(s.step_curves().t_s); }},
    {"step_curves", "ideal", "V", "", [](Session& s) { return values(s.step_curves().ideal); }},
    {"step_curves", "model", "V", "",
     [](Session& s) { return values(s.step_curves().with_opamp); }},
    {"stages", "order", "", "", [](Session& s) { return values(s.stage_columns().order); }},
    {"stages", "f0_hz", "Hz", "", [](Session& s) { return values(s.stage_columns().f0_hz); }},
    {"stages", "q", "", "", [](Session& s) { return values(s.stage_columns().q); }},
    {"stages", "r1_ohm", "\u03A9", "", [](Session& s) { return values(s.stage_columns().r1_ohm); }},
    {"stages", "r2_ohm", "\u03A9", "", [](Session& s) { return values(s.stage_columns().r2_ohm); }},
    {"stages", "c1_farad", "F", "", [](Session& s) { return values(s.stage_columns().c1_farad); }},
    {"stages", "c2_farad", "F", "", [](Session& s) { return values(s.stage_columns().c2_farad); }},
    {"stages", "peak_gain_db", "dB", "",
     [](Session& s) { return values(s.stage_columns().peak_gain_db); }},
    {"stages", "peak_hz", "Hz", "", [](Session& s) { return values(s.stage_columns().peak_hz); }},
    {"stages", "std_r1_ohm", "\u03A9", "",
     [](Session& s) { return values(s.stage_columns().std_r1_ohm); }},
    {"stages", "std_r2_ohm", "\u03A9", "",
     [](Session& s) { return values(s.stage_columns().std_r2_ohm); }},
    {"stages", "std_c1_farad", "F", "",
     [](Session& s) { return values(s.stage_columns().std_c1_farad); }},
    {"stages", "std_c2_farad", "F", "",
     [](Session& s) { return values(s.stage_columns().std_c2_farad); }},
    {"stages", "std_f0_hz", "Hz", "", [](Session& s) { return values(s.stage_columns().std_f0_hz); }},
    {"stages", "std_q", "", "", [](Session& s) { return values(s.stage_columns().std_q); }},
    {"stages", "f0_error_percent", "%", "",
     [](Session& s) { return values(s.stage_columns().f0_error_percent); }},
    {"stages", "q_error_percent", "%", "",
     [](Session& s) { return values(s.stage_columns().q_error_percent); }},
    {"stage_opamp", "slew_v_per_us", "V/\u00B5s", "",
     [](Session& s) { return values(s.stage_opamp_columns().slew_v_per_us); }},
    {"stage_opamp", "peak_gain_db", "dB", "",
     [](Session& s) { return values(s.stage_opamp_columns().peak_gain_db); }},
    {"stage_opamp", "peak_hz", "Hz", "",
     [](Session& s) { return values(s.stage_opamp_columns().peak_hz); }},
#define KESTRANE_STAGE_CURVE(K)                                                        \
    {"stage_curves", "stage" #K "_gain_db", "dB", "stage" #K "_gain_db",               \
     [](Session& s) { return values(stage_curve<K>(s).gain_db); }},                    \
        {"stage_curves", "stage" #K "_phase_deg", "\u00B0", "stage" #K "_phase_deg",   \
         [](Session& s) { return values(stage_curve<K>(s).phase_deg); }},              \
    {                                                                                  \
        "stage_curves", "stage" #K "_group_delay_s", "s", "stage" #K "_group_delay_s", \
            [](Session& s) { return values(stage_curve<K>(s).group_delay_s); }         \
    }
    KESTRANE_STAGE_CURVE(1),
    KESTRANE_STAGE_CURVE(2),
    KESTRANE_STAGE_CURVE(3),
    KESTRANE_STAGE_CURVE(4),
    KESTRANE_STAGE_CURVE(5),
    KESTRANE_STAGE_CURVE(6),
#undef KESTRANE_STAGE_CURVE
};

// --- The name table as JSON ---

std::string quoted(std::string_view text) {
    std::string json(1, '"');
    return json.append(text).append(1, '"');  // the tables' texts need no escapes
}

// The items' texts joined by commas.
void append_item(std::string& list, std::string_view item) {
    if (!list.empty()) list += ',';
    list += item;
}

template <typename List, typename Name>
std::string name_list(const List& list, Name name) {
    std::string items;
    for (const auto& entry : list)
        append_item(items, quoted(name(entry)));
    return "[" + items + "]";
}

std::string entry_json(std::string_view group, std::string_view name) {
    return "{\"group\":" + quoted(group) + ",\"name\":" + quoted(name);
}

std::string constant(std::string_view name, double value) {
    return quoted(name) + ":" + shortest_text(value);
}

std::string constants_json() {
    const PartsOptions parts;
    const OpAmpChoice opamp;
    std::string items;
    for (const std::string& item : {
             constant("cutoff_gain", kModelCutoffAmplitude),
             constant("cutoff_gain_db", decibels(kModelCutoffAmplitude)),
             constant("max_plot_points", kMostPlotPoints),
             constant("plot_points", kDefaultPlotPoints),
             constant("step_points", kDefaultStepPoints),
             quoted("default_method") + ":" + quoted(method_name(parts.method)),
             quoted("default_resistor_series") + ":" + quoted(series_name(parts.series.resistors)),
             quoted("default_capacitor_series") + ":" +
                 quoted(series_name(parts.series.capacitors)),
             constant("default_resistor_tolerance", parts.tolerances.resistor_percent),
             constant("default_capacitor_tolerance", parts.tolerances.capacitor_percent),
             constant("default_gbw_mhz", opamp.gbw_mhz),
             constant("default_a0_db", opamp.open_loop_gain_db),
             constant("default_ro_ohm", opamp.output_ohm),
             constant("default_amplitude_v", kDefaultAmplitudeV),
             constant("default_attenuation_hz", kDefaultAttenuationHz),
         })
        append_item(items, item);
    std::string json(1, '{');
    return json.append(items).append(1, '}');
}

std::string field_kinds_json() {
    std::string kinds;
    for (const FieldKind kind : kFieldKinds)
        append_item(kinds, "{\"name\":" + quoted(field_kind_name(kind)) +
                               ",\"chars\":" + std::to_string(field_number_chars(kind)) + "}");
    return "[" + kinds + "]";
}

}  // namespace

std::span<const GroupEntry> group_entries() {
    return kGroups;
}
std::span<const FigureEntry> figure_entries() {
    return kFigures;
}
std::span<const LineEntry> line_entries() {
    return kLines;
}
std::span<const ArrayEntry> array_entries() {
    return kArrays;
}
std::span<const std::string_view> unit_names() {
    return kUnits;
}

std::uint64_t group_stamp(Session& session, std::string_view group) {
    for (const GroupEntry& entry : kGroups) {
        if (entry.name == group) return entry.stamp(session);
    }
    return 0;
}

std::string catalogue_json() {
    std::string figures;
    for (const FigureEntry& f : kFigures)
        append_item(figures, entry_json(f.group, f.name) + ",\"unit\":" + quoted(f.unit) +
                                 ",\"for_people\":" + (f.for_people ? "true" : "false") + "}");
    std::string lines;
    for (const LineEntry& l : kLines)
        append_item(lines, entry_json(l.group, l.name) + "}");
    std::string arrays;
    for (const ArrayEntry& a : kArrays)
        append_item(arrays, entry_json(a.group, a.name) + ",\"unit\":" + quoted(a.unit) +
                                ",\"csv\":" + quoted(a.csv) + "}");
    return "{\"field_kinds\":" + field_kinds_json() +
           ",\"field_statuses\":" + name_list(kFieldStatuses, field_status_name) +
           ",\"series\":" + name_list(kPreferredSeries, series_name) +
           ",\"methods\":" + name_list(kPartsMethods, method_name) +
           ",\"responses\":" + name_list(kResponses, response_name) +
           ",\"edges\":" + name_list(kChebyshevEdges, edge_name) +
           ",\"units\":" + name_list(kUnits, [](std::string_view u) { return u; }) +
           ",\"constants\":" + constants_json() +
           ",\"groups\":" + name_list(kGroups, [](const GroupEntry& g) { return g.name; }) +
           ",\"figures\":[" + figures + "],\"lines\":[" + lines + "],\"arrays\":[" + arrays + "]}";
}

}  // namespace kestrane
