// ngspice, an independent simulator, runs cascades with an op-amp and its results are held
// against the library's: the gain over four decades, the cutoff and the step response. The
// netlist is written here, for the test alone: every stage as the single stage's netlist has
// it, the op-amp the same macro (GA into RA || CA gives A0 / (1 + s A0 / (2 pi GBW)), EB
// buffers it, RO is the output resistance), each output driving the next stage's R1.
// ngspice is required: without it the test fails.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_step.h"
#include "process_runner.h"
#include "simulator_rows.h"

namespace kestrane {
namespace {

std::string exact(double value) {
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 16);
    return std::string(text, end.ptr);
}

std::string element(const std::string& name, const std::string& nodes, double value) {
    return name + " " + nodes + " " + exact(value) + "\n";
}

// The circuit, input node in (AC 1; a 1 V step at 0 rising in 1e-7 of the span), the last
// stage's output node out<n-1>.
std::string cascade_netlist(std::span<const StageCircuit> stages, const OpAmp& opamp,
                            double span_s) {
    const double rise = 1e-7 * span_s;
    std::string text = "* cascade of Sallen-Key stages with a single-pole op-amp\n";
    text += "VIN in 0 DC 0 AC 1 PULSE(0 1 0 " + exact(rise) + " " + exact(rise) + " " +
            exact(1e3 * span_s) + " " + exact(2e3 * span_s) + ")\n";
    std::string input = "in";
    for (std::size_t k = 0; k < stages.size(); ++k) {
        const std::string n = std::to_string(k);
        const CircuitParts& p = stages[k].parts;
        const std::string x = "x" + n, plus = "p" + n, out = "out" + n, a = "a" + n, b = "b" + n;
        if (stages[k].order == 2) {
            text += element("R1_" + n, input + " " + x, p.R1);
            text += element("R2_" + n, x + " " + plus, p.R2);
            text += element("C1_" + n, x + " " + out, p.C1);
            text += element("C2_" + n, plus + " 0", p.C2);
        } else {
            text += element("R1_" + n, input + " " + plus, p.R1);
            text += element("C1_" + n, plus + " 0", p.C1);
        }
        text += "GA_" + n + " 0 " + a + " " + plus + " " + out + " 1\n";
        text += element("RA_" + n, a + " 0", opamp.open_loop_gain);
        text += element("CA_" + n, a + " 0", 1 / (2 * std::numbers::pi * opamp.gbw_hz));
        text += "EB_" + n + " " + b + " 0 " + a + " 0 1\n";
        text += element("RO_" + n, b + " " + out, opamp.output_resistance);
        input = out;
    }
    text += ".options reltol=1e-6 abstol=1e-15 vntol=1e-12 chgtol=1e-20 method=gear\n";
    return text;
}

// The analyses, each written to a file in `dir`: ac (fc/100 to 100 fc), fine (+-1e-4 around
// the library's cutoff), dc (near 0 Hz), tran (the step over the span).
std::string control(const std::string& output, const std::filesystem::path& dir, double fc_hz,
                    double span_s) {
    const std::string d = dir.string() + "/";
    std::string text = ".control\nset wr_singlescale\nset numdgt=17\n";
    text += "ac dec 100 " + exact(fc_hz / 100) + " " + exact(fc_hz * 100) + "\n";
    text += "wrdata " + d + "ac.txt vm(" + output + ")\n";
    text += "ac lin 2001 " + exact(fc_hz * (1 - 1e-4)) + " " + exact(fc_hz * (1 + 1e-4)) + "\n";
    text += "wrdata " + d + "fine.txt vm(" + output + ")\n";
    text += "ac lin 2 " + exact(fc_hz * 1e-6) + " " + exact(fc_hz * 2e-6) + "\n";
    text += "wrdata " + d + "dc.txt vm(" + output + ")\n";
    text +=
        "tran " + exact(span_s / 4000) + " " + exact(span_s) + " 0 " + exact(span_s / 4000) + "\n";
    text += "wrdata " + d + "tran.txt v(" + output + ")\n";
    return text + "quit\n.endc\n.end\n";
}

using testing_support::read_rows;

// Where the fine sweep's gain falls through `level`, interpolated linearly (the points are
// 1e-7 apart, where the gain is straight to far below the tolerance).
double crossing(const std::vector<std::vector<double>>& rows, double level) {
    for (std::size_t k = 1; k < rows.size(); ++k) {
        if (rows[k][1] <= level && rows[k - 1][1] > level) {
            const double fraction = (rows[k - 1][1] - level) / (rows[k - 1][1] - rows[k][1]);
            return rows[k - 1][0] + fraction * (rows[k][0] - rows[k - 1][0]);
        }
    }
    return 0;
}

struct SimulatedCase {
    CascadeRequest request;
    double cutoff_hz;
    double r_ohm;
    OpAmp opamp;
};

TEST(CascadeNgspice, SimulatorAgreesWithTheCascadeWithAnOpAmp) {
    const SimulatedCase cases[] = {
        {{Response::chebyshev, 5, 0.5}, 2000, 10e3, {1e6, 1e5, 75}},
        {{Response::bessel, 8}, 1000, 4.7e3, {200e3, 1e4, 100}},
    };
    const std::filesystem::path root =
        std::filesystem::path(::testing::TempDir()) / "kestrane_cascade_ngspice";
    std::filesystem::remove_all(root);
    int index = 0;
    for (const SimulatedCase& c : cases) {
        SCOPED_TRACE(response_name(c.request.response));
        const CascadeCircuit circuit =
            cascade_circuit(design_cascade(c.request, c.cutoff_hz), c.r_ohm);
        const auto stages = stages_of(circuit);
        const double fc = opamp_cutoff_hz(stages, c.opamp, {CutoffLevel::half_power, 0});
        // The op-amp moves the cutoff by far more than the tolerance.
        ASSERT_GT(std::fabs(fc / c.cutoff_hz - 1), 1e-4);
        const CascadeStepFigures step = cascade_step_figures(stages, c.opamp);
        ASSERT_TRUE(step.settles);

        const std::filesystem::path dir = root / std::to_string(index++);
        std::filesystem::create_directories(dir);
        const std::string output = "out" + std::to_string(stages.size() - 1);
        std::ofstream(dir / "cascade.cir") << cascade_netlist(stages, c.opamp, step.span_s)
                                           << control(output, dir, fc, step.span_s);
        const testing_support::ProcessResult run = testing_support::run_program(
            {KESTRANE_NGSPICE, "-b", (dir / "cascade.cir").string()}, "", 300);
        ASSERT_EQ(run.exit_status, 0) << run.output << run.errors;
        const auto ac = read_rows(dir / "ac.txt");
        const auto fine = read_rows(dir / "fine.txt");
        const auto dc = read_rows(dir / "dc.txt");
        const auto tran = read_rows(dir / "tran.txt");
        ASSERT_GT(ac.size(), 400u);
        ASSERT_GT(fine.size(), 2000u);
        ASSERT_FALSE(dc.empty());
        ASSERT_GT(tran.size(), 1000u);

        double largest_db = 0;
        for (const auto& row : ac) {
            const double gain = opamp_cascade_point(stages, c.opamp, row[0]).gain;
            largest_db = std::fmax(largest_db, std::fabs(decibels(row[1] / gain)));
        }
        EXPECT_LT(largest_db, 0.01);
        EXPECT_NEAR(dc[0][1] / cascade_dc_gain(stages, c.opamp), 1, 1e-9);
        EXPECT_NEAR(crossing(fine, dc[0][1] / std::sqrt(2.0)) / fc, 1, 1e-6);

        // Past a hundred rise times of the source, its ramp and the step differ by far less
        // than the tolerance.
        double largest_step = 0;
        for (const auto& row : tran) {
            if (row[0] < 1e-5 * step.span_s) continue;
            const double error = row[1] - cascade_step_value(stages, c.opamp, row[0]);
            largest_step = std::fmax(largest_step, std::fabs(error));
        }
        EXPECT_LT(largest_step, 1e-3 * step.final_value);
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace kestrane
