// The console's result lines, without line ends, as the dialogue writes them and the page
// shows them.
#pragma once

#include <string>

namespace kestrane {

// "R1, Ohm: 10000" and "R2, Ohm: 10253.1": resistances in ohms. The design's parts are
// floats, which convert to double exactly, so their lines are what they always were; a
// standard set's parts are doubles.
std::string r1_line(double r1_ohm);
std::string r2_line(double r2_ohm);

// "C1, nF: 23.132" and "C2, nF: 11.109": capacitances given in farads, shown in nanofarads
// (the value times 1e9 in double precision).
std::string c1_line(double c1_farad);
std::string c2_line(double c2_farad);

// "Passband, Hz: 0-300 (amplitude pulsation 0.005dB)": the passband edge in hertz.
std::string passband_line(float edge_hz);

// "+/-0.000979251 radian.": half the phase deviation over the band, in radians.
std::string deviation_line(double half_deviation_rad);

}  // namespace kestrane
