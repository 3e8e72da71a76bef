// The figures of a component set's response to a unit step at its input, shared by the op-amp
// figures (opamp.h) and the step response that computes them (step_response.h).
#pragma once

namespace kestrane {

// The figures of a step response. Times in seconds, from the step.
struct StepFigures {
    double final_value = 0;            // A0 / (1 + A0)
    double initial_value = 0;          // just after the step: the leak N3/D3 through C1 and Ro
    double overshoot_percent = 0;      // 100 (peak - final) / final; 0 when it never exceeds final
    double peak_time_s = 0;            // the time of that peak; 0 without overshoot
    double rise_time_s = 0;            // the main edge, 10 % to 90 % of final (step_response.h)
    double settling_1_percent_s = 0;   // after it, |y - final| <= 1 % of final for ever
    double settling_01_percent_s = 0;  // the same for 0.1 %
    double span_s = 0;                 // the span for a plot: 1.5 x the 0.1 % settling time
};

}  // namespace kestrane
