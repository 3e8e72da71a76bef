// Prints what the console's core and texts make of designs read from standard input, in a form
// that the page's WebAssembly module is compared with bit for bit (web/tests/differential.mjs).
//
// Input: one design a line, the cutoff (kHz), R1 (ohms) and band (Hz) texts separated by tabs,
// then any number of standard-parts settings, four texts each: the resistors' and the
// capacitors' series ("E6" to "E192") and their tolerances in percent. Every number text is
// read as the page reads its fields (read_field: SI prefixes, nothing after the number).
// Output: one line a design, fields separated by tabs:
//   for each of the three texts, its field status (ok, empty, not_a_number, too_long) and the
//   bits of its value (16 hexadecimal digits, 0 unless ok);
//   then, when the cutoff and R1 are numbers, either "refused" and the console's reason, or
//   "designed", the bits of R2, C1, C2 and the passband edge (8 hexadecimal digits each),
//   the R1, R2, C1, C2 and passband lines, and the same five values for people
//   (engineering_text: "10.3 kΩ", "23.1 nF", "664 Hz");
//   then for each setting "parts", the bits of the rounded R1, R2, C1 and C2, their four
//   lines, 1 or 0 for an achieved cutoff found, the bits of the cutoff and of its error in
//   percent, the achieved cutoff line, and, when both tolerances are tolerances, 1 or 0 for a
//   cutoff range found, the bits of its bounds and the spread line ("-" when not tolerances);
//   and, when the band is a number too, the bits of half the phase deviation and the
//   deviation line.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "design.h"
#include "field_read.h"
#include "messages.h"
#include "number_writer.h"
#include "part_analysis.h"
#include "parts_report.h"
#include "preferred_values.h"
#include "report_text.h"

namespace {

using namespace kestrane;

std::string hex_bits(std::uint64_t bits, int digits) {
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, bits >>= 4)
        text[static_cast<std::size_t>(i)] = "0123456789abcdef"[bits & 0xF];
    return text;
}

std::string bits_of(float value) {
    return hex_bits(std::bit_cast<std::uint32_t>(value), 8);
}
std::string bits_of(double value) {
    return hex_bits(std::bit_cast<std::uint64_t>(value), 16);
}

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == '\t') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() < 3) fields.resize(3);
    return fields;
}

std::string bits_and_tab(float value) {
    return bits_of(value) + "\t";
}
std::string bits_and_tab(double value) {
    return bits_of(value) + "\t";
}

// The tolerance in percent that `text` holds, or -1 when it holds none.
double tolerance_of(const std::string& text) {
    const FieldRead read = read_field(text, FieldKind::tolerance);
    return read.status == FieldStatus::ok ? read.value : -1;
}

// One standard-parts setting of a designed design; `setting` holds its four texts.
std::string dump_parts(const FilterComponents& exact, const DesignTargets& targets,
                       const std::string* setting) {
    const auto resistors = series_from_name(setting[0]);
    const auto capacitors = series_from_name(setting[1]);
    if (!resistors || !capacitors) return "no series\t";
    const FilterComponents p = standard_parts(exact, *resistors, *capacitors);
    std::string out = "parts\t";
    for (const float value : {p.R1, p.R2, p.C1, p.C2})
        out += bits_and_tab(value);
    for (const std::string& text : {r1_line(p.R1), r2_line(p.R2), c1_line(p.C1), c2_line(p.C2)})
        out += text + "\t";
    const PartsAnalysis analysis = analyse_parts(p, targets);
    out += analysis.cutoff.found ? "1\t" : "0\t";
    out += bits_and_tab(analysis.cutoff.hertz) + bits_and_tab(analysis.cutoff_error_percent);
    out += achieved_cutoff_line(analysis) + "\t";
    const PartTolerances tolerances{tolerance_of(setting[2]), tolerance_of(setting[3])};
    if (tolerances.resistor_percent < 0 || tolerances.capacitor_percent < 0) return out + "-\t";
    const CutoffRange range = cutoff_range(p, tolerances);
    out += range.found ? "1\t" : "0\t";
    out += bits_and_tab(range.lowest_hz) + bits_and_tab(range.highest_hz);
    return out + cutoff_spread_line(tolerances, range) + "\t";
}

std::string dump_design(const std::string& line) {
    const std::vector<std::string> texts = split_tabs(line);
    const FieldKind kinds[3] = {FieldKind::design, FieldKind::design, FieldKind::band};
    FieldRead reads[3];
    std::string out;
    for (std::size_t i = 0; i < 3; ++i) {
        reads[i] = read_field(texts[i], kinds[i]);
        out.append(field_status_name(reads[i].status)).append("\t");
        out.append(bits_of(reads[i].value)).append("\t");
    }
    if (reads[0].status != FieldStatus::ok || reads[1].status != FieldStatus::ok) return out;

    const Design design = design_filter(reads[0].value, reads[1].value);
    if (!design.made()) return out.append("refused\t").append(refusal_message(design.refusal));
    const FilterComponents& c = design.components;
    const DesignTargets& targets = design.targets;
    const float edge = design.passband_edge_hz;
    out.append("designed\t");
    for (const float value : {c.R2, c.C1, c.C2, edge})
        out.append(bits_of(value)).append("\t");
    for (const std::string& text :
         {r1_line(c.R1), r2_line(c.R2), c1_line(c.C1), c2_line(c.C2), passband_line(edge)})
        out.append(text).append("\t");
    for (const std::string& text :
         {engineering_text(c.R1, "\u03A9"), engineering_text(c.R2, "\u03A9"),
          engineering_text(c.C1, "F"), engineering_text(c.C2, "F"), engineering_text(edge, "Hz")})
        out.append(text).append("\t");
    for (std::size_t first = 3; first + 4 <= texts.size(); first += 4)
        out += dump_parts(c, targets, &texts[first]);
    if (reads[2].status != FieldStatus::ok) return out;
    const double half_deviation = half_phase_deviation(design, reads[2].value);
    return out.append(bits_of(half_deviation)).append("\t").append(deviation_line(half_deviation));
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line))
        std::cout << dump_design(line) << '\n';
    return std::cout.good() ? 0 : 1;
}
