// Random designs for the tests and the benchmark: cutoffs from 0.001 to 10^6 kHz and R1 from
// 1 ohm to 10^9 ohm, spread evenly over the decades, a quarter of each negative.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kestrane::test {

// What the user types for one design.
struct DesignInput {
    float fc_khz;
    float r1;
};

// "fc_khz ... R1 ...", to name a design in a failure message.
std::string describe(const DesignInput& design);

// The next design from `random`.
DesignInput random_design(std::mt19937_64& random);

// `count` designs from `seed` whose starting points are finite (all of them in this spread).
std::vector<DesignInput> random_designs(int count, std::uint64_t seed);

}  // namespace kestrane::test
