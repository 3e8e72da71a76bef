// Every figure, line and array a face reads from a session, by name: the page's module exports
// them by their place in these tables, and the design dump prints every one of them, so that
// the module and the native build are compared entry by entry, through the same code.
//
// Each entry belongs to a group, the session's product it is read from (Session::Product), whose
// stamp tells when it changed:
//   design       figures and lines of the design (made or refused)
//   deviation    the phase deviation over the band
//   parts        the shown set, its figures and the warnings
//   ranges       what the tolerances do: ranges and yield
//   opamp        the shown set's figures with the op-amp
//   attenuation  the attenuation at its frequency
//   step         the step responses' figures
//   files        the netlist and the bill of materials
//   samples      the plotted frequencies and the design model's curve
//   circuit      the shown set's curve on the real circuit
//   bands        its lowest and highest curves over the tolerance box
//   opamp_curve  the shown set's curve with the op-amp
//   step_curves  the step responses sampled in time
// Each group has a figure "made": 1 when the group's product exists, else 0. A figure of a
// group that was not made reads 0, a line "", an array nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kestrane/session/session.h"

namespace kestrane {

struct GroupEntry {
    std::string_view name;
    std::uint64_t (*stamp)(Session&);  // changes exactly when the group's entries may change
};

struct FigureEntry {
    std::string_view group;
    std::string_view name;
    std::string_view unit;  // one of unit_names()
    bool for_people;        // whether the page shows it for people (engineering_text)
    double (*value)(Session&);
};

struct LineEntry {
    std::string_view group;
    std::string_view name;
    std::string (*text)(Session&);
};

struct ArrayEntry {
    std::string_view group;
    std::string_view name;
    std::string_view unit;  // one of unit_names()
    std::string_view csv;   // the heading of its column in the response's CSV; "" for none
    std::span<const double> (*values)(Session&);
};

// The tables. The place of an entry in its table is its number for the page's module.
std::span<const GroupEntry> group_entries();
std::span<const FigureEntry> figure_entries();
std::span<const LineEntry> line_entries();
std::span<const ArrayEntry> array_entries();

// The units the entries name: "", "Hz", "s", "Ω", "F", "%", "rad", "°", "V", "dB", "V/µs".
std::span<const std::string_view> unit_names();

// The stamp of the group named `group` in `session` (Session::stamp); 0 for a name that is not
// a group.
std::uint64_t group_stamp(Session& session, std::string_view group);

// The name table as JSON (UTF-8, one line): { field_kinds: [{ name, chars }], field_statuses:
// [names], series: ["E6", ...], methods: ["best", "nearest"], responses: ["butterworth", ...],
// edges: ["-3db", "ripple-edge"], units: [texts], constants: {
// cutoff_gain, cutoff_gain_db, max_plot_points, plot_points, step_points, default_method,
// default_resistor_series, default_capacitor_series, default_resistor_tolerance,
// default_capacitor_tolerance, default_gbw_mhz, default_a0_db, default_ro_ohm,
// default_amplitude_v, default_attenuation_hz }, groups: [names], figures: [{ group, name,
// unit, for_people }], lines: [{ group, name }], arrays: [{ group, name, unit, csv }] }. The
// position of an entry in its list is its number.
std::string catalogue_json();

}  // namespace kestrane
