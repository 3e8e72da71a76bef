// ngspice, an independent circuit simulator, runs the netlists Kestrane writes and its results
// are held against the core's op-amp model: the netlist and the model check each other.
// ngspice is required (scripts/install-packages.sh installs it): without it the test fails.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/standard_sets.h"
#include "kestrane/circuit/step_response.h"
#include "kestrane/model/design.h"
#include "kestrane/session/outputs.h"
#include "kestrane/session/session.h"
#include "kestrane/text/spice_netlist.h"
#include "process_runner.h"
#include "simulator_rows.h"

namespace kestrane {
namespace {

struct SimulatedCase {
    double fc_khz;
    double r1_ohm;
    double gbw_mhz;
    double a0_db;
    double ro_ohm;
};

// Designs from 200 Hz to 20 kHz with various R1, op-amps from 50 kHz to 100 GHz.
constexpr SimulatedCase kCases[] = {
    {0.2, 47000, 0.05, 80, 100}, {0.2, 1000, 1e5, 140, 0}, {1, 10000, 10, 100, 50},
    {1, 10000, 0.2, 60, 500},    {5, 2200, 1, 100, 75},    {20, 1000, 0.05, 100, 50},
    {20, 100000, 1e5, 100, 10},  {20, 4700, 10, 120, 0},
};

using testing_support::read_rows;

std::string number(double value) {
    std::ostringstream text;
    text.precision(17);
    text << value;
    return text.str();
}

// The netlist with a control block that runs its analyses and three more sweeps and writes
// every result into `dir`: ac (the plotted band), tran (the step), wide (cutoff/100 to
// 1000 x cutoff), fine (+-2 % around the model's cutoff) and dc (near 0 Hz).
std::string with_control(std::string netlist, const std::filesystem::path& dir, double fc_hz) {
    netlist.erase(netlist.rfind(".control"));
    const std::string d = dir.string() + "/";
    netlist += ".control\nset wr_singlescale\nset numdgt=17\nrun\n";
    netlist += "setplot ac1\nwrdata " + d + "ac.txt vm(out)\n";
    netlist += "setplot tran1\nwrdata " + d + "tran.txt v(out)\n";
    netlist += "ac dec 100 " + number(fc_hz / 100) + " " + number(fc_hz * 1000) + "\n";
    netlist += "wrdata " + d + "wide.txt vm(out)\n";
    netlist += "ac lin 4001 " + number(fc_hz * 0.98) + " " + number(fc_hz * 1.02) + "\n";
    netlist += "wrdata " + d + "fine.txt vm(out)\n";
    netlist += "ac lin 2 " + number(fc_hz * 1e-6) + " " + number(fc_hz * 2e-6) + "\n";
    netlist += "wrdata " + d + "dc.txt vm(out)\n";
    netlist += "quit\n.endc\n.end\n";
    return netlist;
}

double largest_db_difference(const std::vector<std::vector<double>>& rows,
                             const TransferFunction& h) {
    double largest = 0;
    for (const auto& row : rows) {
        const double core_db = decibels(response_at(h, row[0]).gain);
        largest = std::fmax(largest, std::fabs(decibels(row[1]) - core_db));
    }
    return largest;
}

// The first frequency of the fine sweep where the gain falls to 1/sqrt(2) of `dc_gain`,
// interpolated linearly between the points around it; 0 when it does not.
double simulated_cutoff(const std::vector<std::vector<double>>& rows, double dc_gain) {
    const double level = dc_gain / std::sqrt(2.0);
    for (std::size_t k = 1; k < rows.size(); ++k) {
        if (rows[k][1] <= level && rows[k - 1][1] > level) {
            const double fraction = (rows[k - 1][1] - level) / (rows[k - 1][1] - rows[k][1]);
            return rows[k - 1][0] + fraction * (rows[k][0] - rows[k - 1][0]);
        }
    }
    return 0;
}

TEST(Ngspice, SimulatorAgreesWithTheOpAmpModel) {
    const std::filesystem::path root =
        std::filesystem::path(::testing::TempDir()) / "kestrane_ngspice";
    std::filesystem::remove_all(root);
    ASSERT_EQ(root.string().find(' '), std::string::npos) << "ngspice's wrdata needs " << root;
    int index = 0;
    for (const SimulatedCase& c : kCases) {
        SCOPED_TRACE(::testing::Message()
                     << "fc " << c.fc_khz << " kHz, R1 " << c.r1_ohm << ", GBW " << c.gbw_mhz
                     << " MHz, A0 " << c.a0_db << " dB, Ro " << c.ro_ohm);
        const Design design = design_filter(c.fc_khz, c.r1_ohm);
        const CircuitParts parts = circuit_parts(design.components);
        const OpAmpReading reading = opamp_from_fields(c.gbw_mhz, c.a0_db, c.ro_ohm);
        ASSERT_EQ(reading.refused, OpAmpField::none);
        const OpAmp& opamp = reading.opamp;
        const TransferFunction h = transfer_function(parts, opamp);
        const Cutoff cutoff = cutoff_3db(h);
        ASSERT_TRUE(cutoff.found);
        const StepFigures step = step_figures(parts, opamp);
        const double fc = c.fc_khz * 1000;

        const std::filesystem::path dir = root / std::to_string(index++);
        std::filesystem::create_directories(dir);
        const NetlistAnalyses analyses{fc / 1000, fc * 100, 100, step.span_s};
        const std::string netlist = spice_netlist(parts, opamp, {fc, c.r1_ohm, "", ""}, analyses);
        std::ofstream(dir / "filter.cir") << with_control(netlist, dir, cutoff.hz);
        const testing_support::ProcessResult run = testing_support::run_program(
            {KESTRANE_NGSPICE, "-b", (dir / "filter.cir").string()}, "", 120);
        ASSERT_EQ(run.exit_status, 0) << "ngspice (" << KESTRANE_NGSPICE
                                      << ") did not run: scripts/install-packages.sh installs it\n"
                                      << run.output << run.errors;

        const auto ac = read_rows(dir / "ac.txt");
        const auto wide = read_rows(dir / "wide.txt");
        const auto fine = read_rows(dir / "fine.txt");
        const auto dc = read_rows(dir / "dc.txt");
        const auto tran = read_rows(dir / "tran.txt");
        ASSERT_GT(ac.size(), 400u);
        ASSERT_GT(wide.size(), 400u);
        ASSERT_FALSE(dc.empty());
        ASSERT_GT(tran.size(), 100u);

        EXPECT_LT(largest_db_difference(ac, h), 0.01) << "plotted band";
        EXPECT_LT(largest_db_difference(wide, h), 0.1) << "cutoff/100 to 1000 x cutoff";
        EXPECT_NEAR(simulated_cutoff(fine, dc[0][1]), cutoff.hz, 5e-4 * cutoff.hz);

        // The source rises in 1e-7 of the span; past a hundred rise times the ramp and the
        // step differ by far less than the tolerance.
        const double settled_rise = 1e-5 * step.span_s;
        double largest_step_error = 0;
        for (const auto& row : tran) {
            if (row[0] < settled_rise) continue;
            const double error = std::fabs(row[1] - step_value(parts, opamp, row[0]));
            largest_step_error = std::fmax(largest_step_error, error);
        }
        EXPECT_LT(largest_step_error, 1e-3 * step.final_value);
    }
    std::filesystem::remove_all(root);
}

// The time at which the simulated step `rows` (t, v) crosses `level` between rows k - 1 and k,
// interpolated linearly.
double crossing_time(const std::vector<std::vector<double>>& rows, std::size_t k, double level) {
    const double fraction = (level - rows[k - 1][1]) / (rows[k][1] - rows[k - 1][1]);
    return rows[k - 1][0] + fraction * (rows[k][0] - rows[k - 1][0]);
}

// The simulated main edge: from the last upward crossing of 10 % of `final_value` before the
// first reaching of 90 %, to that first 90 % crossing; 0 when either is missing.
double simulated_rise_time(const std::vector<std::vector<double>>& rows, double final_value) {
    std::size_t high = 1;
    while (high < rows.size() && rows[high][1] < 0.9 * final_value)
        ++high;
    if (high >= rows.size()) return 0;
    std::size_t low = high;
    while (low > 0 && rows[low - 1][1] >= 0.1 * final_value)
        --low;
    if (low == 0) return 0;
    return crossing_time(rows, high, 0.9 * final_value) -
           crossing_time(rows, low, 0.1 * final_value);
}

TEST(Ngspice, RiseTimeIsThatOfTheMainEdgeAfterTheLeakThroughRo) {
    // With Ro = 1 kohm the step leaks through C1 and Ro: the output jumps above 10 % at t = 0
    // and falls back within nanoseconds. The best sets of 1 kHz / 1 kohm (E96/E12, 10 MHz)
    // and 100 kHz / 2.2 kohm (E96/E96, 100 MHz), A0 100 dB, simulated with a step of 1/50000
    // of the span.
    const struct {
        double fc_khz, r1_ohm;
        SeriesPair series;
        double gbw_mhz;
    } cases[] = {{1, 1000, {PreferredSeries::e96, PreferredSeries::e12}, 10},
                 {100, 2200, {PreferredSeries::e96, PreferredSeries::e96}, 100}};
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / "kestrane_ngspice_rise";
    std::filesystem::create_directories(dir);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fc_khz);
        const Design design = design_filter(c.fc_khz, c.r1_ohm);
        const BestSet set =
            best_standard_set(design.components, design.targets.cutoff_hz, c.series);
        ASSERT_TRUE(set.found);
        const OpAmp opamp = opamp_from_fields(c.gbw_mhz, 100, 1000).opamp;
        const StepFigures step = step_figures(set.parts, opamp);
        ASSERT_GT(step.initial_value, 0.1 * step.final_value);

        const double span = step.span_s;
        std::string netlist = spice_netlist(set.parts, opamp, {}, {1, 1e6, 10, span});
        netlist.erase(netlist.rfind(".control"));
        netlist += ".control\nset wr_singlescale\nset numdgt=17\ntran " + number(span / 50000) +
                   " " + number(span) + " 0 " + number(span / 50000) + "\nwrdata " +
                   (dir / "rise.txt").string() + " v(out)\nquit\n.endc\n.end\n";
        std::ofstream(dir / "rise.cir") << netlist;
        const testing_support::ProcessResult run = testing_support::run_program(
            {KESTRANE_NGSPICE, "-b", (dir / "rise.cir").string()}, "", 120);
        ASSERT_EQ(run.exit_status, 0) << run.output << run.errors;
        const double simulated = simulated_rise_time(read_rows(dir / "rise.txt"), step.final_value);
        EXPECT_NEAR(step.rise_time_s, simulated, 1e-4 * simulated);
    }
    std::filesystem::remove_all(dir);
}

// The number ngspice prints after "name" and "=" on a line of `output`; not-a-number when none.
double printed_measurement(const std::string& output, const std::string& name) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name, 0) != 0) continue;
        const std::size_t equals = line.find('=', name.size());
        if (equals != std::string::npos) return std::strtod(line.c_str() + equals + 1, nullptr);
    }
    return std::nan("");
}

TEST(Ngspice, TheNetlistAsWrittenRunsAndMeasuresTheCutoffAndTheOvershoot) {
    // The netlists --spice writes (Session::netlist) run as they stand with ngspice -b: the -3 dB
    // frequency from the DC gain matches the model's cutoff with the op-amp, the overshoot its
    // step's (ngspice's step within 2e-5 of the final value). 2.2 kHz / 4.7 kohm with the
    // default op-amp, as the manual shows; 1 kHz / 1 kohm with 1 MHz, 80 dB and 1 kohm.
    const struct {
        double fc_khz, r1_ohm;
        std::optional<OpAmpChoice> opamp;
    } cases[] = {{2.2, 4700, std::nullopt},
                 {1, 1000, OpAmpChoice{1, 80, 1000, opamp_from_fields(1, 80, 1000).opamp}}};
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / "kestrane_ngspice_measure";
    std::filesystem::create_directories(dir);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fc_khz);
        Session session;
        session.set_design(c.fc_khz, c.r1_ohm);
        apply_asks(session, {std::nullopt, c.opamp});
        const PartsReport& report = *session.parts();
        ASSERT_TRUE(report.buildable);
        const std::string path = (dir / "lp.cir").string();
        std::ofstream(path) << session.netlist();
        const testing_support::ProcessResult run =
            testing_support::run_program({KESTRANE_NGSPICE, "-b", path}, "", 120);
        ASSERT_EQ(run.exit_status, 0) << run.output << run.errors;

        const OpAmp opamp = c.opamp ? c.opamp->opamp : OpAmp{};
        const Cutoff cutoff = cutoff_3db(transfer_function(report.shown, opamp));
        ASSERT_TRUE(cutoff.found);
        EXPECT_NEAR(printed_measurement(run.output, "minus_3db_from_dc_gain_hz"), cutoff.hz,
                    1e-6 * cutoff.hz)
            << run.output;
        const StepFigures step = step_figures(report.shown, opamp);
        EXPECT_NEAR(printed_measurement(run.output, "step_overshoot_percent"),
                    step.overshoot_percent, 5e-3)
            << run.output;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrane

namespace kestrane {
namespace {

TEST(Ngspice, CascadeNetlistsGiveTheCutoffGainAndStepThePageShows) {
    // Every family at orders 1, 2, 5 and 10 (Linkwitz-Riley at 2, 4 and 10), 1 kHz, 10 kohm,
    // with a 10 MHz, 100 dB, 50 ohm op-amp in every stage: the netlist --spice writes, as it
    // stands, prints the cutoff the lines print (to ngspice's seven digits); with a control
    // block of this test's, its AC gain within 0.01 dB of the model from a hundredth of the
    // cutoff to 100 times it, and its step within 0.1 % of the final value.
    const struct {
        Response response;
        int order;
        double ripple_db;
    } cases[] = {
        {Response::butterworth, 1, kNoRipple},
        {Response::butterworth, 2, kNoRipple},
        {Response::butterworth, 5, kNoRipple},
        {Response::butterworth, 10, kNoRipple},
        {Response::bessel, 1, kNoRipple},
        {Response::bessel, 2, kNoRipple},
        {Response::bessel, 5, kNoRipple},
        {Response::bessel, 10, kNoRipple},
        {Response::chebyshev, 1, 1},
        {Response::chebyshev, 2, 1},
        {Response::chebyshev, 5, 1},
        {Response::chebyshev, 10, 0.5},
        {Response::linkwitz_riley, 2, kNoRipple},
        {Response::linkwitz_riley, 4, kNoRipple},
        {Response::linkwitz_riley, 10, kNoRipple},
    };
    const std::filesystem::path root =
        std::filesystem::path(::testing::TempDir()) / "kestrane_ngspice_cascade";
    std::filesystem::remove_all(root);
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << response_name(c.response) << " " << c.order);
        Session session;
        session.set_design(1, 10000);
        session.set_cascade(CascadeRequest{c.response, c.order, c.ripple_db});
        ASSERT_TRUE(session.made());
        const CascadeOpAmpFigures& figures = *session.cascade_opamp();
        const CascadeCircuit& shown = *session.cascade_shown();
        const OpAmp opamp = session.opamp_choice()->opamp;
        const std::string netlist = session.netlist();

        const std::filesystem::path dir = root / std::to_string(index++);
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "as_written.cir") << netlist;
        const testing_support::ProcessResult measured = testing_support::run_program(
            {KESTRANE_NGSPICE, "-b", (dir / "as_written.cir").string()}, "", 120);
        ASSERT_EQ(measured.exit_status, 0) << measured.output << measured.errors;
        const std::string name = c.response == Response::linkwitz_riley
                                     ? "minus_6db_from_dc_gain_hz"
                                     : "minus_3db_from_dc_gain_hz";
        EXPECT_NEAR(printed_measurement(measured.output, name), figures.cutoff_hz,
                    1e-6 * figures.cutoff_hz)
            << measured.output;

        const double fc = figures.cutoff_hz;
        std::string control = netlist;
        control.erase(control.rfind(".control"));
        const std::string d = dir.string() + "/";
        control += ".control\nset wr_singlescale\nset numdgt=17\nrun\n";
        control += "ac dec 100 " + number(fc / 100) + " " + number(fc * 100) + "\n";
        control += "wrdata " + d + "ac.txt vm(out)\n";
        control += "setplot tran1\nwrdata " + d + "tran.txt v(out)\nquit\n.endc\n.end\n";
        std::ofstream(dir / "sweeps.cir") << control;
        const testing_support::ProcessResult run = testing_support::run_program(
            {KESTRANE_NGSPICE, "-b", (dir / "sweeps.cir").string()}, "", 120);
        ASSERT_EQ(run.exit_status, 0) << run.output << run.errors;
        double largest_db = 0;
        for (const auto& row : read_rows(dir / "ac.txt")) {
            const double model = opamp_cascade_point(stages_of(shown), opamp, row[0]).gain;
            largest_db = std::fmax(largest_db, std::fabs(decibels(row[1] / model)));
        }
        EXPECT_LT(largest_db, 0.01);
        const CascadeStepFigures& step = session.cascade_step()->with_opamp;
        const auto tran = read_rows(dir / "tran.txt");
        ASSERT_GT(tran.size(), 100u);
        double largest_step = 0;
        for (const auto& row : tran) {
            if (row[0] < 1e-5 * step.span_s) continue;  // past the source's ramp
            const double model = cascade_step_value(stages_of(shown), opamp, row[0]);
            largest_step = std::fmax(largest_step, std::fabs(row[1] - model));
        }
        EXPECT_LT(largest_step, 1e-3 * step.final_value);
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace kestrane
