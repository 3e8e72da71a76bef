// Reading what ngspice's wrdata writes: columns of numbers, one row a line.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kestrane::testing_support {

// The rows of numbers in `file`; lines without a number are skipped.
inline std::vector<std::vector<double>> read_rows(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double value = 0;
        while (fields >> value)
            row.push_back(value);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

}  // namespace kestrane::testing_support
