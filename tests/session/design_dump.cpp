// Prints every entry of the session's catalogue for designs read from standard input, so that
// the page's WebAssembly module, driven through the same script (web/tests/differential.mjs),
// is compared with the native assembly bit for bit.
//
// Input: one design a line, texts separated by tabs: the cutoff (kHz), R1 (ohms) and the band
// (Hz); then, when the next text begins with "#", a filter of any order in nine texts: "#" and
// the response's name, the order, the ripple (dB), the edge's name, the passband edge (kHz)
// and loss (dB), the stopband edge and loss, and "1" for compensation (a specification when its
// four texts are numbers, no ripple when it is not one); then any number of settings, ten texts
// each: the method ("best" or "nearest"), the
// resistors' and the capacitors' series ("E6" to "E192"), their tolerances in percent, the
// op-amp's GBW (MHz), A0 (dB) and Ro (ohms), the input sine's peak (V) and the attenuation's
// frequency (Hz). Every number text is read as the page reads its fields (read_field).
//
// The script, for each line: the three fields are read and their status and bits printed;
// the session gets the design when the cutoff and R1 are numbers (else none), the band when it
// is one, 9 plot points and 9 step points, and the filter (the search without a "#" block, or
// "no response" printed for a name not in the table); the groups design, deviation, samples,
// cascade and stages are printed. Then for each setting: "no method" or "no series" for names not
// in the tables; otherwise the session gets the method and series, the tolerances when both are
// numbers, the op-amp when its three fields are numbers (opamp_choice), the amplitude (not-a-number
// when it is not a number) and the attenuation frequency when it is one, and every other group is
// printed. A group prints as its name, then its figures' bits (16 hexadecimal digits), its
// figures for people, its lines (line ends written as "\n") and its arrays' bits, each
// followed by a tab. Output: one line a design.
#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kestrane/cascade/order.h"
#include "kestrane/cascade/request.h"
#include "kestrane/circuit/preferred_values.h"
#include "kestrane/circuit/standard_sets.h"
#include "kestrane/session/catalogue.h"
#include "kestrane/session/session.h"
#include "kestrane/text/field_read.h"
#include "kestrane/text/number_writer.h"

namespace {

using namespace kestrane;

constexpr int kDumpPoints = 9;

std::string bits_of(double value) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, bits >>= 4)
        text[static_cast<std::size_t>(i)] = "0123456789abcdef"[bits & 0xF];
    return text;
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

// A text with its line ends written as "\n", so that it stays on one line.
std::string one_line(const std::string& text) {
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// The value of `text` read as a field of `kind`, when it holds one.
std::optional<double> value_of(const std::string& text, FieldKind kind) {
    const FieldRead read = read_field(text, kind);
    return read.status == FieldStatus::ok ? std::optional(read.value) : std::nullopt;
}

std::string dump_group(Session& session, std::string_view group) {
    std::string out(group);
    out += '\t';
    for (const FigureEntry& f : figure_entries()) {
        if (f.group != group) continue;
        const double value = f.value(session);
        out += bits_of(value) + '\t';
        if (f.for_people) out += engineering_text(value, f.unit) + '\t';
    }
    for (const LineEntry& l : line_entries()) {
        if (l.group == group) out += one_line(l.text(session)) + '\t';
    }
    for (const ArrayEntry& a : array_entries()) {
        if (a.group != group) continue;
        for (const double value : a.values(session))
            out += bits_of(value) + ',';
        out += '\t';
    }
    return out;
}

bool of_design(std::string_view group) {
    return group == "design" || group == "deviation" || group == "samples" || group == "cascade" ||
           group == "stages";
}

std::string dump_groups(Session& session, bool design_groups) {
    std::string out;
    for (const GroupEntry& group : group_entries()) {
        if (of_design(group.name) == design_groups) out += dump_group(session, group.name);
    }
    return out;
}

// The filter of a "#" block of nine texts; false for a response or edge not in the tables.
bool set_filter(Session& session, const std::string* texts) {
    const std::optional<Response> response = response_from_name(texts[0].substr(1));
    const std::optional<ChebyshevEdge> edge = edge_from_name(texts[3]);
    if (!response || !edge) return false;
    const std::optional<double> order = value_of(texts[1], FieldKind::design);
    const std::optional<double> ripple = value_of(texts[2], FieldKind::design);
    // An order that is not a whole number is passed on as 0: the request refuses it.
    const int whole = order && *order == std::floor(*order) && std::fabs(*order) < 100
                          ? static_cast<int>(*order)
                          : 0;
    session.set_cascade(CascadeRequest{*response, whole, ripple.value_or(kNoRipple), *edge});
    std::optional<double> spec[4];
    for (int i = 0; i < 4; ++i)
        spec[i] = value_of(texts[4 + i], FieldKind::design);
    const bool specified = spec[0] && spec[1] && spec[2] && spec[3];
    session.set_specification(specified ? std::optional(PassStopSpec{*spec[0] * 1000, *spec[1],
                                                                     *spec[2] * 1000, *spec[3]})
                                        : std::nullopt);
    session.set_compensate(texts[8] == "1");
    return true;
}

// One setting of the session's design; `texts` holds its ten texts.
std::string dump_setting(Session& session, const std::string* texts) {
    const std::optional<PartsMethod> method = method_from_name(texts[0]);
    if (!method) return "no method\t";
    const std::optional<PreferredSeries> resistors = series_from_name(texts[1]);
    const std::optional<PreferredSeries> capacitors = series_from_name(texts[2]);
    if (!resistors || !capacitors) return "no series\t";
    session.set_parts(*method, {*resistors, *capacitors});
    const std::optional<double> tr = value_of(texts[3], FieldKind::tolerance);
    const std::optional<double> tc = value_of(texts[4], FieldKind::tolerance);
    session.set_tolerances(tr && tc ? std::optional(PartTolerances{*tr, *tc}) : std::nullopt);
    const std::optional<double> gbw = value_of(texts[5], FieldKind::gbw);
    const std::optional<double> a0 = value_of(texts[6], FieldKind::gain_db);
    const std::optional<double> ro = value_of(texts[7], FieldKind::output_ohm);
    session.set_opamp(gbw && a0 && ro ? opamp_choice(*gbw, *a0, *ro) : std::nullopt);
    session.set_amplitude(value_of(texts[8], FieldKind::amplitude)
                              .value_or(std::numeric_limits<double>::quiet_NaN()));
    session.set_attenuation_frequency(value_of(texts[9], FieldKind::frequency));
    return dump_groups(session, false);
}

std::string dump_design(Session& session, const std::string& line) {
    const std::vector<std::string> texts = split_tabs(line);
    const FieldKind kinds[3] = {FieldKind::design, FieldKind::design, FieldKind::band};
    FieldRead reads[3];
    std::string out;
    for (std::size_t i = 0; i < 3; ++i) {
        reads[i] = read_field(texts[i], kinds[i]);
        out.append(field_status_name(reads[i].status)).append("\t");
        out.append(bits_of(reads[i].value)).append("\t").append(reads[i].message).append("\t");
    }
    if (reads[0].status == FieldStatus::ok && reads[1].status == FieldStatus::ok) {
        session.set_design(reads[0].value, reads[1].value);
    } else {
        session.clear_design();
    }
    const bool band = reads[2].status == FieldStatus::ok;
    session.set_band(band ? std::optional(reads[2].value) : std::nullopt);
    session.set_plot_points(kDumpPoints);
    session.set_step_points(kDumpPoints);
    std::size_t first = 3;
    session.set_cascade(std::nullopt);
    session.set_specification(std::nullopt);
    session.set_compensate(false);
    if (texts.size() >= first + 9 && texts[first].starts_with("#")) {
        if (!set_filter(session, &texts[first])) return out + "no response";
        first += 9;
    }
    out += dump_groups(session, true);
    for (; first + 10 <= texts.size(); first += 10)
        out += dump_setting(session, &texts[first]);
    return out;
}

}  // namespace

// With --table, prints the catalogue's name table (catalogue_json) alone.
int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--table") {
        std::cout << catalogue_json() << '\n';
        return std::cout.good() ? 0 : 1;
    }
    Session session;
    std::string line;
    while (std::getline(std::cin, line))
        std::cout << dump_design(session, line) << '\n';
    return std::cout.good() ? 0 : 1;
}
