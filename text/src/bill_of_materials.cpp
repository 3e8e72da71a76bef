#include "kestrane/text/bill_of_materials.h"

#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

constexpr double kNanofaradsPerFarad = 1e9;

std::string tolerance_text(double percent) {
    return percent != 0 ? format_number(percent) + "%" : "";
}

std::string row(std::string_view reference, double value, std::string_view unit,
                std::string_view series, double tolerance_percent) {
    std::string text(reference);
    text += ',' + format_number(value) + ',';
    text += unit;
    text += ',';
    text += series;
    text += ',' + tolerance_text(tolerance_percent) + ",1\n";
    return text;
}

}  // namespace

std::string bill_of_materials_csv(const CircuitParts& shown, const PartsSource& source,
                                  const OpAmp& opamp) {
    std::string text = "Reference,Value,Unit,Series,Tolerance,Quantity\n";
    const double r_tolerance = source.resistor_tolerance_percent;
    const double c_tolerance = source.capacitor_tolerance_percent;
    text += row("R1", shown.R1, "ohm", source.resistor_series, r_tolerance);
    text += row("R2", shown.R2, "ohm", source.resistor_series, r_tolerance);
    text += row("C1", shown.C1 * kNanofaradsPerFarad, "nF", source.capacitor_series, c_tolerance);
    text += row("C2", shown.C2 * kNanofaradsPerFarad, "nF", source.capacitor_series, c_tolerance);
    text += row("U1", opamp.gbw_hz / 1e6, "MHz GBW", "", 0);
    return text;
}

std::string cascade_bill_of_materials_csv(std::span<const StageCircuit> stages,
                                          const PartsSource& source, const OpAmp& opamp) {
    std::string text = "Reference,Stage,Value,Unit,Series,Tolerance,Quantity\n";
    const double r_tolerance = source.resistor_tolerance_percent;
    const double c_tolerance = source.capacitor_tolerance_percent;
    for (std::size_t i = 0; i < stages.size(); ++i) {
        const StageCircuit& stage = stages[i];
        const std::string k = std::to_string(i + 1);
        const auto staged = [&](char kind, int part, double value, std::string_view unit,
                                std::string_view series, double tolerance) {
            const std::string reference = std::string(1, kind) + k + "0" + std::to_string(part);
            return row(reference + "," + k, value, unit, series, tolerance);
        };
        text += staged('R', 1, stage.parts.R1, "ohm", source.resistor_series, r_tolerance);
        if (stage.order == 2) {
            text += staged('R', 2, stage.parts.R2, "ohm", source.resistor_series, r_tolerance);
        }
        text += staged('C', 1, stage.parts.C1 * kNanofaradsPerFarad, "nF", source.capacitor_series,
                       c_tolerance);
        if (stage.order == 2) {
            text += staged('C', 2, stage.parts.C2 * kNanofaradsPerFarad, "nF",
                           source.capacitor_series, c_tolerance);
        }
        text += row("U" + k + "," + k, opamp.gbw_hz / 1e6, "MHz GBW", "", 0);
    }
    return text;
}

}  // namespace kestrane
