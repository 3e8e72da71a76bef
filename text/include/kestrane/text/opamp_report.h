// The console's lines about a design with a real op-amp.
#pragma once

#include <string>
#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/model/design.h"

namespace kestrane {

// The lines printed after a design with `opamp` (valid), without line ends, one figure a
// line, numbers in the console's format (format_number):
//   "Cutoff with op-amp, Hz: 999.973"
//   "Needed GBW, MHz: 0.069741"          or "... none (A0 too low)",
//                                            "... none (Ro too high for this A0)"
//   "Slew rate for 1 V, V/us: 0.00444452" (for an input sine of `amplitude_v` volts)
//   "Stopband floor, dB: -81.4094"       or "... none" when the gain falls without end (Ro = 0)
//   "Stopband rises from, Hz: 139231"     or "... none" when the gain never rises again
// A figure that does not exist reads "none". A design that is refused, or whose parts are not
// all positive, gives the one line "Op-amp figures: none (parts not all positive)".
std::vector<std::string> opamp_report_lines(const Design& design, const OpAmp& opamp,
                                            double amplitude_v = 1);

// The same lines for a set of parts (a standard set), without a design: the one line
// "Op-amp figures: none (parts not all positive)" unless `parts` is buildable.
std::vector<std::string> opamp_report_lines(const CircuitParts& parts, const OpAmp& opamp,
                                            double amplitude_v = 1);

// The five figure lines above of `figures`, which opamp_figures made for `amplitude_v` volts.
std::vector<std::string> opamp_figure_lines(const OpAmpFigures& figures, double amplitude_v);

}  // namespace kestrane
