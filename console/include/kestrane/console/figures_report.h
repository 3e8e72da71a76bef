// The figures of a finished design: the passband edge, then the phase deviation over a band
// the user names.
#pragma once

#include "kestrane/console/console.h"
#include "kestrane/model/design.h"

namespace kestrane {

// Writes the passband line, asks for the band and writes half the phase deviation over it.
// Returns ok, or why the band was not read (the input ended, or the prompt could not be
// written out). The design must be made.
AnswerStatus report_figures(Console& console, const Design& design);

}  // namespace kestrane
