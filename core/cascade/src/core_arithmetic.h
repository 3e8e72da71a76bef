// The design core's arithmetic that the cascade library builds on: the Complex type and the
// bracketed root finder, the portable elementary functions, the exact 2 pi and the checks of
// stated conditions. The one place the library names the core's headers.
#pragma once

#include "kestrane/circuit/circuit.h"
#include "kestrane/numeric/contract.h"
#include "kestrane/numeric/polynomial.h"
#include "kestrane/numeric/portable_math.h"
