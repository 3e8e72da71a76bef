#include "kestrane/text/parts_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrane {
namespace {

using enum PreferredSeries;

TEST(PartsText, PercentWithTwoDecimalsAndASign) {
    EXPECT_EQ(percent_text(-7.3195313718620210264), "-7.32");
    EXPECT_EQ(percent_text(0.1395), "+0.14");
    EXPECT_EQ(percent_text(-0.004), "0.00");
    EXPECT_EQ(percent_text(999999.994), "+999999.99");
    EXPECT_EQ(percent_text(1e6), "1e+006");
    EXPECT_EQ(percent_text(-std::numeric_limits<double>::infinity()), "-1.#INF");
}

TEST(PartsText, OneKilohertzReportWithTheBestSet) {
    // The figures as mpmath gives them (1002.30959 Hz, Q 0.7080933, f0 1000.91510 Hz), to six
    // digits; the ranges as tests/tools/box_ranges.py gives them (942.9063037 to
    // 1065.719926 Hz, Q 0.6701383601 to 0.7481419097), to seven digits rounded outward; the
    // yield as its independent implementation counts it (2050, 4089 and 9513 of 10000).
    const std::vector<std::string> expected = {
        "Standard parts, best set of E96 R and E12 C:",
        "R1, Ohm: 10000",
        "R2, Ohm: 30100",
        "C1, nF: 15",
        "C2, nF: 5.6",
        "Achieved cutoff: 1002.31 Hz (+0.23 %)",
        "Q: 0.708093 (+0.14 %)",
        "Natural frequency f0: 1000.92 Hz",
        "Cutoff with 1 % R, 5 % C: 942.9063 to 1065.72 Hz",
        "Q with 1 % R, 5 % C: 0.6701383 to 0.748142",
        "Yield of 10000 builds: 20.5 % within 1 %, 40.89 % within 2 %, 95.13 % within 5 % of the "
        "cutoff",
    };
    EXPECT_EQ(parts_report_lines(design_filter(1, 10000), {}), expected);

    const std::vector<std::string> nearest =
        parts_report_lines(design_filter(1, 10000), {{e6, e24}, PartsMethod::nearest, {150, 5}});
    ASSERT_EQ(nearest.size(), 9u);
    EXPECT_EQ(nearest[0], "Standard parts, nearest E6 R and E24 C:");
    EXPECT_EQ(nearest[8], "Cutoff with 150 % R, 5 % C: none, tolerances run from 0 to below 100 %");
}

TEST(PartsText, PrintedRangesHoldTheTrueOnes) {
    // 47 kHz with 1 kohm, the best E24/E6 set (1 k, 2.2 k, 3.3 nF, 1.5 nF) at 1 % and 5 %:
    // tests/tools/box_ranges.py gives 43950.04095 to 49858.02743 Hz and Q 0.6514672401 to
    // 0.7254633870. Rounded to nearest at six digits the high end read 49858, inside.
    const std::vector<std::string> lines =
        parts_report_lines(design_filter(47, 1000), {{e24, e6}, PartsMethod::best, {1, 5}});
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[8], "Cutoff with 1 % R, 5 % C: 43950.04 to 49858.03 Hz");
    EXPECT_EQ(lines[9], "Q with 1 % R, 5 % C: 0.6514672 to 0.7254634");
}

TEST(PartsText, EachWarningOnOneLineWithItsReasonAndThreshold) {
    BuildWarning nonpositive;
    nonpositive.kind = WarningKind::nonpositive_part;
    nonpositive.name = DesignValue::C1;
    nonpositive.value = -2.5143e-6;
    nonpositive.whole_hertz = true;
    BuildWarning miss;
    miss.kind = WarningKind::misses_target;
    miss.cutoff_error_percent = -9.0909;
    miss.q_error_percent = 1.04;
    miss.whole_hertz = true;
    BuildWarning plain_miss = miss;
    plain_miss.cutoff_error_percent = -1.5;
    plain_miss.q_error_percent = 6;
    plain_miss.whole_hertz = false;
    BuildWarning small;
    small.kind = WarningKind::impractical_part;
    small.name = DesignValue::C2;
    small.value = 5.6e-12;
    small.set = PartSet::shown;
    small.limit = kSmallestCapacitor;
    BuildWarning large = small;
    large.name = DesignValue::R1;
    large.value = 2e7;
    large.set = PartSet::search;
    large.limit = kLargestResistor;
    BuildWarning negative;
    negative.name = DesignValue::cutoff;
    negative.value = -1;
    BuildWarning infinite;
    infinite.name = DesignValue::C1;
    infinite.value = std::numeric_limits<double>::infinity();
    const std::pair<BuildWarning, std::string> cases[] = {
        {nonpositive,
         "Warning: positive inputs gave C1 = -2514.3 nF, not above 0; the design model evaluates "
         "whole hertz"},
        {miss,
         "Warning: the whole-hertz design model misses: real cutoff -9.09 %, Q +1.04 % (limits "
         "1 %, 5 %)"},
        {plain_miss,
         "Warning: on the real circuit the printed parts miss: cutoff -1.50 %, Q +6.00 % (limits "
         "1 %, 5 %)"},
        {small,
         "Warning: the standard set's C2 = 0.0056 nF is below 10 pF: impractical for a capacitor"},
        {large,
         "Warning: the design's R1 = 2e+007 Ohm is above 10 MOhm: impractical for a resistor"},
        {negative,
         "No circuit to build: the cutoff = -1 kHz is not above 0; no standard parts, ranges or "
         "yield"},
        {infinite,
         "No circuit to build: C1 = 1.#INF nF is not finite; no standard parts, ranges or yield"},
    };
    for (const auto& [warning, text] : cases) {
        EXPECT_EQ(warning_line(warning), text);
        EXPECT_LE(text.size(), 100u);
    }
}

TEST(PartsText, LowCutoffsWarnAndTheConsoleGetsOneLine) {
    // 1.5 Hz with 10 kohm: the search's C1 is negative, so the report is its two warnings.
    const Design negative = design_filter(0.0015, 10000);
    const std::vector<std::string> lines = parts_report_lines(negative, {});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Warning: positive inputs gave C1 = -2514.3 nF", 0), 0u);
    EXPECT_EQ(lines[1].rfind("No circuit to build: C1 = -2514.3 nF", 0), 0u);
    EXPECT_EQ(design_warning_line(negative),
              "kestrane: warning: positive inputs gave C1 = -2514.3 nF, not above 0; the design "
              "model evaluates whole hertz");

    // 5.5 Hz: fitted at 5 Hz, about -9.09 % on the real circuit.
    const std::string miss = design_warning_line(design_filter(0.0055, 10000));
    EXPECT_EQ(
        miss.rfind("kestrane: warning: the whole-hertz design model misses: real cutoff -9.", 0),
        0u);
    EXPECT_EQ(miss.find('\n'), std::string::npos);
    EXPECT_EQ(design_warning_line(design_filter(1, 10000)), "");
    EXPECT_EQ(design_warning_line(design_filter(-1, 10000)), "");
}

}  // namespace
}  // namespace kestrane
