#include "random_designs.h"

#include <cmath>

#include "kestrane/model/response.h"

namespace kestrane::test {

std::string describe(const DesignInput& design) {
    return "fc_khz " + std::to_string(design.fc_khz) + " R1 " + std::to_string(design.r1);
}

DesignInput random_design(std::mt19937_64& random) {
    std::uniform_real_distribution<double> fc_decades(-3, 6), r1_decades(0, 9), unit(0, 1);
    auto fc = static_cast<float>(std::pow(10.0, fc_decades(random)));
    auto r1 = static_cast<float>(std::pow(10.0, r1_decades(random)));
    if (unit(random) < 0.25) fc = -fc;
    if (unit(random) < 0.25) r1 = -r1;
    return {fc, r1};
}

std::vector<DesignInput> random_designs(int count, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<DesignInput> designs;
    while (static_cast<int>(designs.size()) < count) {
        const DesignInput design = random_design(random);
        if (is_finite_design(starting_point(design.r1, make_targets(design.fc_khz)))) {
            designs.push_back(design);
        }
    }
    return designs;
}

}  // namespace kestrane::test
