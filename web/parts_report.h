// The page's texts about parts that can be bought: the tolerance fields' rule and message, the
// cutoff that the rounded parts achieve and its spread over their tolerances. Pure; numbers are
// written as the console writes them (format_number) unless said otherwise.
#pragma once

#include <string>
#include <string_view>

#include "part_analysis.h"

namespace kestrane {

// True for a tolerance the page takes, in percent: from 0 up to, not including, 100. From
// 100 % on a part's low corner would be zero or of the other sign. Not-a-numbers and
// infinities are not tolerances.
bool is_tolerance_percent(double percent);

// Why a field holding the number text `shown` (number characters only, as a scanned number
// has) is not a tolerance: `Not a tolerance: "150". Tolerances run from 0 to below 100 %.`;
// at most 80 columns for a number text of up to 19 characters.
std::string tolerance_message(std::string_view shown);

// "Achieved cutoff: 926.805 Hz (-7.32 %)": the achieved cutoff of an analysis and its error
// against the target; "Achieved cutoff: none, the gain never falls to 0.7071" when there is
// no cutoff.
std::string achieved_cutoff_line(const PartsAnalysis& analysis);

// "Cutoff with 1 % R, 5 % C: 868.072 to 987.261 Hz": the resistors' and the capacitors'
// tolerances and the range of the achieved cutoff over them; "...: no cutoff at some corner"
// when the range was not found.
std::string cutoff_spread_line(const PartTolerances& tolerances, const CutoffRange& range);

}  // namespace kestrane
