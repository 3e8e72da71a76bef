// Time of the work of one keystroke of the page, natively: the settings the page gives its
// module (web/tools/time-module.mjs has the same ones) and every figure, line and array of the
// catalogue read, with the design made again each time (R1 alternates), so that every product
// is made. Arg 0 is the search's single stage, 1 a Butterworth of order 4, 2 a Bessel of order
// 8, 3 a Chebyshev of 0.5 dB and order 10: E192 parts at 1 %, the op-amp of 10 MHz, 100 dB and
// 50 ohms, and the step. The module's own time is what time-module.mjs reports.
#include <benchmark/benchmark.h>

#include <cmath>
#include <optional>

#include "kestrane/session/catalogue.h"
#include "kestrane/session/session.h"

namespace kestrane {
namespace {

std::optional<CascadeRequest> request_of(std::int64_t which) {
    switch (which) {
        case 0:
            return std::nullopt;
        case 1:
            return CascadeRequest{Response::butterworth, 4, NAN, ChebyshevEdge::minus_3db};
        case 2:
            return CascadeRequest{Response::bessel, 8, NAN, ChebyshevEdge::minus_3db};
        default:
            return CascadeRequest{Response::chebyshev, 10, 0.5, ChebyshevEdge::minus_3db};
    }
}

double read_everything(Session& session) {
    double sum = 0;
    for (const GroupEntry& group : group_entries())
        sum += static_cast<double>(group.stamp(session) != 0);
    for (const FigureEntry& figure : figure_entries())
        sum += figure.value(session);
    for (const LineEntry& line : line_entries())
        sum += static_cast<double>(line.text(session).size());
    for (const ArrayEntry& array : array_entries())
        sum += static_cast<double>(array.values(session).size());
    return sum;
}

void BM_Keystroke(benchmark::State& state) {
    Session session;
    session.set_cascade(request_of(state.range(0)));
    session.set_specification(std::nullopt);
    session.set_compensate(false);
    session.set_band(150);
    session.set_parts(PartsMethod::best, {PreferredSeries::e192, PreferredSeries::e192});
    session.set_tolerances(PartTolerances{1, 1});
    session.set_opamp(opamp_choice(10, 100, 50));
    session.set_amplitude(1);
    session.set_attenuation_frequency(24000);
    double r1 = 10000;
    for (auto _ : state) {
        r1 = r1 == 10000 ? 10001 : 10000;
        session.set_design(1, r1);
        benchmark::DoNotOptimize(read_everything(session));
    }
}
BENCHMARK(BM_Keystroke)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrane
