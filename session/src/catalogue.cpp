#include "kestrane/session/catalogue.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "kestrane/circuit/preferred_values.h"
#include "kestrane/model/response.h"
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

const FilterComponents& design_parts(Session& s) {
    static const FilterComponents kNone{};
    return s.made() ? s.design().components : kNone;
}

const DesignTargets& targets(Session& s) {
    static const DesignTargets kNone{};
    return s.made() ? s.design().targets : kNone;
}

const PartsReport* report(Session& s) {
    return s.parts();
}

bool has_set(Session& s) {
    const PartsReport* r = report(s);
    return r && r->buildable;
}

const CircuitParts& shown(Session& s) {
    static const CircuitParts kNone{};
    return has_set(s) ? report(s)->shown : kNone;
}

const SetFigures& figures(Session& s) {
    static const SetFigures kNone{};
    return has_set(s) ? report(s)->figures : kNone;
}

bool has_ranges(Session& s) {
    return has_set(s) && report(s)->ranges_made;
}

const PartsReport& ranges(Session& s) {
    static const PartsReport kNone{};
    return has_ranges(s) ? *report(s) : kNone;
}

double yield_percent(Session& s, int band) {
    return has_ranges(s) ? report(s)->yield.percent(band) : 0;
}

const OpAmpFigures& amp(Session& s) {
    static const OpAmpFigures kNone{};
    const OpAmpFigures* figures = s.opamp_figures();
    return figures ? *figures : kNone;
}

const StepFigures& step_with_opamp(Session& s) {
    static const StepFigures kNone{};
    const StepResponses* step = s.step();
    return step ? step->with_opamp : kNone;
}

const StepFigures& step_ideal(Session& s) {
    static const StepFigures kNone{};
    const StepResponses* step = s.step();
    return step ? step->ideal : kNone;
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
    return s.made() ? component_line(circuit_parts(s.design().components), which) : "";
}

std::string parts_line(Session& s, int which) {
    return has_set(s) ? component_line(shown(s), which) : "";
}

// Every warning of the report, one a line, "\n" between them.
std::string warnings_text(Session& s) {
    const PartsReport* r = report(s);
    if (!r) return "";
    std::string text;
    for (const BuildWarning& warning : r->warnings) {
        if (!text.empty()) text += '\n';
        text += warning_line(warning);
    }
    return text;
}

std::string opamp_line(Session& s, std::size_t which) {
    const OpAmpFigures* figures = s.opamp_figures();
    if (!figures) return "";
    return opamp_figure_lines(*figures, s.amplitude().value_or(1))[which];
}

std::string step_line(Session& s, std::string (*line)(const StepFigures&)) {
    const StepResponses* step = s.step();
    return step ? line(step->with_opamp) : "";
}

std::span<const double> values(const std::vector<double>& list) {
    return list;
}

// --- The tables ---

std::uint64_t files_stamp(Session& s) {
    const std::uint64_t parts = s.stamp(Product::parts);
    const std::uint64_t ranges = s.stamp(Product::ranges);
    const std::uint64_t step = s.stamp(Product::step);
    // Distinct for distinct stamps while each stays below 2^21 (two million products made).
    return parts == 0 ? 0 : (parts << 42) ^ (ranges << 21) ^ step;
}

const GroupEntry kGroups[] = {
    {"design", [](Session& s) { return s.stamp(Product::design); }},
    {"deviation", [](Session& s) { return s.stamp(Product::deviation); }},
    {"parts", [](Session& s) { return s.stamp(Product::parts); }},
    {"ranges", [](Session& s) { return s.stamp(Product::ranges); }},
    {"opamp", [](Session& s) { return s.stamp(Product::opamp); }},
    {"attenuation", [](Session& s) { return s.stamp(Product::attenuation); }},
    {"step", [](Session& s) { return s.stamp(Product::step); }},
    {"files", files_stamp},
    {"samples", [](Session& s) { return s.stamp(Product::design_curve); }},
    {"circuit", [](Session& s) { return s.stamp(Product::circuit_curve); }},
    {"bands", [](Session& s) { return s.stamp(Product::band_curves); }},
    {"opamp_curve", [](Session& s) { return s.stamp(Product::opamp_curve); }},
    {"step_curves", [](Session& s) { return s.stamp(Product::step_curves); }},
};

const FigureEntry kFigures[] = {
    {"design", "made", "", false, [](Session& s) { return flag(s.made()); }},
    {"design", "R1", "\u03A9", true, [](Session& s) { return double{design_parts(s).R1}; }},
    {"design", "R2", "\u03A9", true, [](Session& s) { return double{design_parts(s).R2}; }},
    {"design", "C1", "F", true, [](Session& s) { return double{design_parts(s).C1}; }},
    {"design", "C2", "F", true, [](Session& s) { return double{design_parts(s).C2}; }},
    {"design", "cutoff_hz", "Hz", true, [](Session& s) { return double{targets(s).cutoff_hz}; }},
    {"design", "flat_top_hz", "Hz", false,
     [](Session& s) { return double{targets(s).flat_top_hz}; }},
    {"design", "passband_edge_hz", "Hz", true,
     [](Session& s) { return s.made() ? double{s.design().passband_edge_hz} : 0.0; }},
    {"deviation", "made", "", false,
     [](Session& s) { return flag(s.half_deviation().has_value()); }},
    {"deviation", "half_deviation_rad", "rad", false,
     [](Session& s) { return s.half_deviation().value_or(0); }},
    {"parts", "made", "", false, [](Session& s) { return flag(report(s)); }},
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
    {"opamp", "made", "", false, [](Session& s) { return flag(s.opamp_figures()); }},
    {"opamp", "cutoff_found", "", false, [](Session& s) { return flag(amp(s).cutoff.found); }},
    {"opamp", "cutoff_hz", "Hz", true, [](Session& s) { return amp(s).cutoff.hz; }},
    {"opamp", "ideal_cutoff_hz", "Hz", false, [](Session& s) { return amp(s).ideal_cutoff.hz; }},
    {"opamp", "q", "", false, [](Session& s) { return amp(s).q; }},
    {"opamp", "ideal_q", "", false, [](Session& s) { return amp(s).ideal_q; }},
    {"opamp", "gbw_reached", "", false,
     [](Session& s) {
         return flag(s.opamp_figures() && amp(s).needed_gbw.limit == GbwLimit::reached);
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
    {"step", "made", "", false, [](Session& s) { return flag(s.step()); }},
    {"step", "final_value", "V", false, [](Session& s) { return step_with_opamp(s).final_value; }},
    {"step", "overshoot_percent", "%", false,
     [](Session& s) { return step_with_opamp(s).overshoot_percent; }},
    {"step", "peak_time_s", "s", false, [](Session& s) { return step_with_opamp(s).peak_time_s; }},
    {"step", "rise_time_s", "s", true, [](Session& s) { return step_with_opamp(s).rise_time_s; }},
    {"step", "settling_1_percent_s", "s", true,
     [](Session& s) { return step_with_opamp(s).settling_1_percent_s; }},
    {"step", "settling_01_percent_s", "s", true,
     [](Session& s) { return step_with_opamp(s).settling_01_percent_s; }},
    {"step", "span_s", "s", false, [](Session& s) { return s.step() ? s.step()->span_s : 0.0; }},
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
};

const LineEntry kLines[] = {
    {"design", "refusal",
     [](Session& s) {
         return s.has_design() && !s.made() ? std::string(refusal_message(s.design().refusal))
                                            : std::string();
     }},
    {"design", "r1", [](Session& s) { return design_line(s, 0); }},
    {"design", "r2", [](Session& s) { return design_line(s, 1); }},
    {"design", "c1", [](Session& s) { return design_line(s, 2); }},
    {"design", "c2", [](Session& s) { return design_line(s, 3); }},
    {"design", "passband",
     [](Session& s) { return s.made() ? passband_line(s.design().passband_edge_hz) : ""; }},
    {"deviation", "deviation",
     [](Session& s) {
         const std::optional<double> half = s.half_deviation();
         return half ? deviation_line(*half) : "";
     }},
    {"parts", "heading",
     [](Session& s) { return has_set(s) ? parts_heading_line(report(s)->options) : ""; }},
    {"parts", "r1", [](Session& s) { return parts_line(s, 0); }},
    {"parts", "r2", [](Session& s) { return parts_line(s, 1); }},
    {"parts", "c1", [](Session& s) { return parts_line(s, 2); }},
    {"parts", "c2", [](Session& s) { return parts_line(s, 3); }},
    {"parts", "cutoff",
     [](Session& s) { return has_set(s) ? real_cutoff_line(figures(s)) : std::string(); }},
    {"parts", "q", [](Session& s) { return has_set(s) ? q_line(figures(s)) : std::string(); }},
    {"parts", "natural",
     [](Session& s) { return has_set(s) ? natural_frequency_line(figures(s)) : std::string(); }},
    {"parts", "warnings", warnings_text},
    {"ranges", "cutoff_range",
     [](Session& s) {
         const PartsReport& r = ranges(s);
         return has_ranges(s) ? cutoff_range_line(r.options.tolerances, r.cutoff_range_hz, true)
                              : std::string();
     }},
    {"ranges", "q_range",
     [](Session& s) {
         const PartsReport& r = ranges(s);
         return has_ranges(s) ? q_range_line(r.options.tolerances, r.q_range) : std::string();
     }},
    {"ranges", "yield",
     [](Session& s) { return has_ranges(s) ? yield_line(ranges(s).yield) : std::string(); }},
    {"opamp", "cutoff", [](Session& s) { return opamp_line(s, 0); }},
    {"opamp", "gbw", [](Session& s) { return opamp_line(s, 1); }},
    {"opamp", "slew", [](Session& s) { return opamp_line(s, 2); }},
    {"opamp", "lowest", [](Session& s) { return opamp_line(s, 3); }},
    {"opamp", "limit", [](Session& s) { return opamp_line(s, 4); }},
    {"attenuation", "attenuation",
     [](Session& s) {
         const std::optional<Session::Attenuation> a = s.attenuation();
         return a ? attenuation_line(a->hz, a->db) : std::string();
     }},
    {"step", "overshoot", [](Session& s) { return step_line(s, overshoot_line); }},
    {"step", "rise", [](Session& s) { return step_line(s, rise_line); }},
    {"step", "settle", [](Session& s) { return step_line(s, settle_line); }},
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
           ",\"units\":" + name_list(kUnits, [](std::string_view u) { return u; }) +
           ",\"constants\":" + constants_json() +
           ",\"groups\":" + name_list(kGroups, [](const GroupEntry& g) { return g.name; }) +
           ",\"figures\":[" + figures + "],\"lines\":[" + lines + "],\"arrays\":[" + arrays + "]}";
}

}  // namespace kestrane
