// The ranges of parts one can buy and build with, which the parts reports warn outside of.
#pragma once

namespace kestrane {

// Practical ranges of parts: resistors in ohms, capacitors in farads. Below 100 ohms a
// resistor loads the op-amp's output; above 10 Mohm its noise, the op-amp's bias current and
// leakage dominate; below 10 pF a capacitor is lost in the board's and the op-amp's own
// capacitance; above 100 uF only electrolytics remain, unfit for a filter.
inline constexpr double kSmallestResistor = 100;
inline constexpr double kLargestResistor = 10e6;
inline constexpr double kSmallestCapacitor = 10e-12;
inline constexpr double kLargestCapacitor = 100e-6;

}  // namespace kestrane
