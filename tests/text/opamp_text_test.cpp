#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kestrane/model/design.h"
#include "kestrane/text/bill_of_materials.h"
#include "kestrane/text/opamp_report.h"
#include "kestrane/text/spice_netlist.h"

namespace kestrane {
namespace {

// The 1 kHz, 10 kohm design's parts, as the console prints them: R2 10253.1, C1 23.132 nF,
// C2 11.109 nF (R2 is 10253.1005859375 exactly in single precision).
const FilterComponents kDesign1k{10000, 10253.1005859375f, 2.31319959e-08f, 1.11089999e-08f};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// An element line of a netlist: "NAME NODES... VALUE", the value the last field.
struct Element {
    std::string nodes;
    double value = 0;
};

std::map<std::string, Element> elements_of(const std::vector<std::string>& lines) {
    std::map<std::string, Element> elements;
    for (const std::string& line : lines) {
        if (line.empty() || std::string("RCEG").find(line[0]) == std::string::npos) continue;
        const std::size_t name_end = line.find(' ');
        const std::size_t value_start = line.rfind(' ') + 1;
        elements[line.substr(0, name_end)] = {line.substr(name_end + 1, value_start - name_end - 2),
                                              std::strtod(line.c_str() + value_start, nullptr)};
    }
    return elements;
}

bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& line : lines) {
        if (line == wanted) return true;
    }
    return false;
}

TEST(SpiceNetlist, ElementsValuesAndAnalyses) {
    const CircuitParts parts = circuit_parts(kDesign1k);
    const NetlistAnalyses analyses{1, 1e6, 100, 2.5e-3};
    const NetlistDesign design{1000, 10000, "E96/E12", "nearest on a log scale"};
    const std::string text = spice_netlist(parts, {1e7, 1e5, 50}, design, analyses);
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("* Kestrane " KESTRANE_VERSION ": ", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back(), ".end");
    EXPECT_NE(text.find("* Design: cutoff 1000 Hz, R1 10000 ohm, parts E96/E12, nearest"),
              std::string::npos);
    // The circuit: each element between the nodes of the topology, each value read back by a
    // simulator exactly as the double the model used.
    const std::map<std::string, Element> elements = elements_of(lines);
    const struct {
        const char* name;
        const char* nodes;
        double value;
    } expected[] = {{"R1", "in x", parts.R1}, {"R2", "x p", parts.R2}, {"C1", "x out", parts.C1},
                    {"C2", "p 0", parts.C2},  {"RA", "a 0", 1e5},      {"RO", "b out", 50}};
    for (const auto& e : expected) {
        ASSERT_EQ(elements.count(e.name), 1u) << e.name;
        EXPECT_EQ(elements.at(e.name).nodes, e.nodes) << e.name;
        EXPECT_EQ(elements.at(e.name).value, e.value) << e.name;
    }
    EXPECT_EQ(elements.at("GA").nodes, "0 a p out");  // 1 S from V(p) - V(out) into node a
    EXPECT_EQ(elements.at("EB").nodes, "b 0 a 0");
    EXPECT_TRUE(has_line(lines, ".ac dec 100 1.0000000000000000e+00 1.0000000000000000e+06"));
    // CA = 1/(2 pi GBW): 1.5915494309189533577e-08 F (mpmath).
    const auto ca = text.find("CA a 0 ");
    ASSERT_NE(ca, std::string::npos);
    EXPECT_NEAR(std::strtod(text.c_str() + ca + 7, nullptr), 1.5915494309189533577e-08, 1e-23);
    // Only R, C, E, G and the source V; comments and dot commands besides, and ngspice's
    // commands inside its .control block.
    bool in_control = false;
    for (const std::string& line : lines) {
        if (line == ".control" || line == ".endc") in_control = line == ".control";
        if (in_control) continue;
        EXPECT_NE(std::string("*.RCEGV").find(line.at(0)), std::string::npos) << line;
    }
    EXPECT_TRUE(has_line(lines, "quit"));
}

TEST(SpiceNetlist, WithoutOutputResistanceAndIdeal) {
    const CircuitParts parts = circuit_parts(kDesign1k);
    const NetlistAnalyses analyses{1, 1e6, 10, 1e-3};
    const auto direct = lines_of(spice_netlist(parts, {1e7, 1e5, 0}, {}, analyses));
    EXPECT_TRUE(has_line(direct, "EB out 0 a 0 1"));
    for (const std::string& line : direct)
        EXPECT_NE(line.rfind("RO ", 0), 0u) << line;
    const auto ideal = lines_of(spice_netlist(parts, kIdealOpAmp, {}, analyses));
    EXPECT_TRUE(has_line(ideal, "EB out 0 p 0 1"));
    EXPECT_TRUE(has_line(ideal, "* Op-amp: ideal"));
    for (const std::string& line : ideal)
        EXPECT_NE(line.rfind("GA ", 0), 0u) << line;
}

TEST(BillOfMaterials, RowsForThePartsAndTheOpAmp) {
    EXPECT_EQ(bill_of_materials_csv(circuit_parts(kDesign1k), {"E96", "E12", 1, 5}, {1e7, 1e5, 50}),
              "Reference,Value,Unit,Series,Tolerance,Quantity\n"
              "R1,10000,ohm,E96,1%,1\n"
              "R2,10253.1,ohm,E96,1%,1\n"
              "C1,23.132,nF,E12,5%,1\n"
              "C2,11.109,nF,E12,5%,1\n"
              "U1,10,MHz GBW,,,1\n");
    EXPECT_EQ(lines_of(bill_of_materials_csv(circuit_parts(kDesign1k), {}, {2.5e5, 1e5, 50}))[1],
              "R1,10000,ohm,,,1");
}

TEST(OpAmpReport, LinesOfTheOneKilohertzDesign) {
    // Figures from mpmath (tests/tools/opamp_expected.py): cutoff 999.97261776 Hz, slew
    // 0.00444451788 V/us, lowest gain -81.40951 dB at 139230.62 Hz; the limit
    // (Ro||R2) / (R1 + Ro||R2) = -46.105966 dB; the step from the residues at the poles:
    // overshoot 4.8804873 %, main edge 0.00034171765 s, settling 0.00106509037 s and
    // 0.00167602422 s.
    const Design design = design_filter(1, 10000);
    const std::vector<std::string> lines = opamp_report_lines(design, {1e7, 1e5, 50});
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Cutoff with op-amp (-3 dB from the DC gain, first crossing), Hz: 999.973");
    EXPECT_EQ(lines[1].rfind("Needed GBW (cutoff and Q within 1 % of the ideal op-amp's), MHz: "
                             "0.0697",
                             0),
              0u)
        << lines[1];
    EXPECT_EQ(lines[2], "Slew rate for a 1 V peak input sine, V/us: 0.00444452");
    EXPECT_EQ(lines[3], "Lowest gain above the cutoff, dB from 1: -81.4095 at 139231 Hz");
    EXPECT_EQ(lines[4], "Gain as the frequency grows without bound, dB from 1: -46.106");
    EXPECT_EQ(lines[5], "Step overshoot, % of final value: 4.88049");
    EXPECT_EQ(lines[6], "Step rise time, main edge 10-90 % of final value, s: 0.000341718");
    EXPECT_EQ(lines[7],
              "Step settling to 1 % of final value, s: 0.00106509; to 0.1 %, s: 0.00167602");

    const auto no_ro = opamp_report_lines(design, {1e7, 1e5, 0}, 2);
    EXPECT_EQ(no_ro[2].rfind("Slew rate for a 2 V peak input sine, V/us: ", 0), 0u);
    EXPECT_EQ(no_ro[3],
              "Lowest gain above the cutoff, dB from 1: none (the gain falls towards "
              "its limit)");
    EXPECT_EQ(no_ro[4],
              "Gain as the frequency grows without bound, dB from 1: none (falls "
              "without end)");
    EXPECT_TRUE(opamp_report_lines(design, {1e7, 10, 0})[1].ends_with("MHz: none (A0 too low)"));
    EXPECT_TRUE(opamp_report_lines(design, {1e7, 200, 1e4})[1].ends_with(
        "MHz: none (Ro too high for this A0)"));
    EXPECT_EQ(opamp_report_lines(design_filter(0, 10000), {1e7, 1e5, 50}),
              std::vector<std::string>{"Op-amp figures: none (parts not all positive)"});
}

}  // namespace
}  // namespace kestrane
