// The response of a filter at one frequency, as every model gives it: the design model between
// whole hertz, the real circuit, the circuit with an op-amp and the cascade. One record, so
// that a curve is drawn, compared and written the same way whichever model made it.
#pragma once

namespace kestrane {

struct ResponsePoint {
    double gain;           // |H|, 1 at 0 Hz for every model here
    double phase_deg;      // arg H in degrees: 0 at 0 Hz, falling with frequency (a lag is negative)
    double group_delay_s;  // -d(arg H)/d(omega) in seconds, omega the model's angular frequency
};

}  // namespace kestrane
