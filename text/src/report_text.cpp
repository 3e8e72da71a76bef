#include "kestrane/text/report_text.h"

#include "kestrane/text/number_writer.h"

namespace kestrane {
namespace {

constexpr double kNanofaradsPerFarad = 1e9;

}  // namespace

std::string r1_line(double r1_ohm) {
    return "R1, Ohm: " + format_number(r1_ohm);
}

std::string r2_line(double r2_ohm) {
    return "R2, Ohm: " + format_number(r2_ohm);
}

std::string c1_line(double c1_farad) {
    return "C1, nF: " + format_number(c1_farad * kNanofaradsPerFarad);
}

std::string c2_line(double c2_farad) {
    return "C2, nF: " + format_number(c2_farad * kNanofaradsPerFarad);
}

std::string passband_line(float edge_hz) {
    return "Passband, Hz: 0-" + format_number(edge_hz) + " (amplitude pulsation 0.005dB)";
}

std::string deviation_line(double half_deviation_rad) {
    return "+/-" + format_number(half_deviation_rad) + " radian.";
}

}  // namespace kestrane
