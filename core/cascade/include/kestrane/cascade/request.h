// What a cascade is asked to be: its response family, its order, the ripple of a Chebyshev and
// which point of a Chebyshev the cutoff names; the names of the families and edges, and the
// check of a request.
//
// A cascade of order n is n poles: one unity-gain Sallen-Key stage for each complex pair (or
// double real pole) and one first-order stage (an RC into a follower) for a lone real pole.
#pragma once

#include <limits>
#include <optional>
#include <string_view>

namespace kestrane {

enum class Response { butterworth, bessel, chebyshev, linkwitz_riley };

// Every response, in the order of the enum.
inline constexpr Response kResponses[] = {Response::butterworth, Response::bessel,
                                          Response::chebyshev, Response::linkwitz_riley};

// Which point of a Chebyshev response its cutoff names: where the gain is 1/sqrt(2) of the
// DC gain (-3.0103 dB), or where it last leaves the ripple band.
enum class ChebyshevEdge { minus_3db, ripple_edge };

// Every edge, in the order of the enum.
inline constexpr ChebyshevEdge kChebyshevEdges[] = {ChebyshevEdge::minus_3db,
                                                    ChebyshevEdge::ripple_edge};

inline constexpr int kMaxOrder = 10;
// Five second-order stages and a first-order one.
inline constexpr int kMaxStages = 6;
inline constexpr double kMinRippleDb = 0.01;
inline constexpr double kMaxRippleDb = 3;
// The ripple of a request that has none (every family but Chebyshev).
inline constexpr double kNoRipple = std::numeric_limits<double>::quiet_NaN();

// "butterworth", "bessel", "chebyshev" and "linkwitz-riley".
std::string_view response_name(Response response);

// The response whose name is `name` in any mix of cases; no value for anything else.
std::optional<Response> response_from_name(std::string_view name);

// "-3db" and "ripple-edge".
std::string_view edge_name(ChebyshevEdge edge);

// The edge whose name is `name` in any mix of cases; no value for anything else.
std::optional<ChebyshevEdge> edge_from_name(std::string_view name);

struct CascadeRequest {
    Response response = Response::butterworth;
    int order = 2;                                  // number of poles, 1 to 10
    double ripple_db = kNoRipple;                   // Chebyshev only: 0.01 to 3 dB
    ChebyshevEdge edge = ChebyshevEdge::minus_3db;  // ripple_edge for a Chebyshev only
};

// What is wrong with a request; `none` when it can be designed.
enum class RequestError {
    none,
    order_out_of_range,        // not 1 to 10
    odd_linkwitz_riley,        // a Linkwitz-Riley is a Butterworth twice: even orders only
    missing_ripple,            // a Chebyshev without a ripple (not a number)
    ripple_out_of_range,       // a Chebyshev's ripple outside 0.01 to 3 dB
    ripple_without_chebyshev,  // a ripple given to another family
    edge_without_chebyshev,    // a ripple-edge cutoff asked of another family
};

// The first thing wrong with `request`, in the order of RequestError's values.
RequestError validate_request(const CascadeRequest& request);

}  // namespace kestrane
