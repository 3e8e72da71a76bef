// The bill of materials of a component set with its op-amp, as CSV text.
#pragma once

#include <string>
#include <string_view>

#include <span>
#include "kestrane/circuit/circuit.h"

#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/circuit/opamp.h"

namespace kestrane {

// Where the shown parts come from: their series ("" for the search's exact values) and
// tolerances in percent (0 when not stated).
struct PartsSource {
    std::string_view resistor_series;
    std::string_view capacitor_series;
    double resistor_tolerance_percent = 0;
    double capacitor_tolerance_percent = 0;
};

// "Reference,Value,Unit,Series,Tolerance,Quantity" and one row each for R1, R2 (ohm), C1, C2
// (nF) and the op-amp U1 (its GBW in MHz), values in the console's number format, tolerances
// as "1%" (empty when 0), quantity 1. Lines end in "\n". No field holds a comma or a quote.
std::string bill_of_materials_csv(const CircuitParts& shown, const PartsSource& source,
                                  const OpAmp& opamp);

// The bill of materials of a cascade: "Reference,Stage,Value,Unit,Series,Tolerance,Quantity",
// then for each stage k its parts as the cascade's netlist names them (R<k>01, R<k>02 in ohms,
// C<k>01, C<k>02 in nF; a first-order stage R<k>01 and C<k>01) and its op-amp U<k> (its GBW in
// MHz), each with its stage's number; values in the console's number format, quantity 1.
std::string cascade_bill_of_materials_csv(std::span<const StageCircuit> stages,
                                          const PartsSource& source, const OpAmp& opamp);

}  // namespace kestrane
