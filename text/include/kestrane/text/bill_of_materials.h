// The bill of materials of a component set with its op-amp, as CSV text.
#pragma once

#include <string>
#include <string_view>

#include "kestrane/circuit/circuit.h"
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

}  // namespace kestrane
