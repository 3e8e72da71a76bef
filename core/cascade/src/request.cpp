#include "kestrane/cascade/request.h"

#include <cmath>

namespace kestrane {
namespace {

template <class Value>
struct NameEntry {
    Value value;
    std::string_view name;
};

constexpr NameEntry<Response> kResponseNames[] = {
    {Response::butterworth, "butterworth"},
    {Response::bessel, "bessel"},
    {Response::chebyshev, "chebyshev"},
    {Response::linkwitz_riley, "linkwitz-riley"},
};

constexpr NameEntry<ChebyshevEdge> kEdgeNames[] = {
    {ChebyshevEdge::minus_3db, "-3db"},
    {ChebyshevEdge::ripple_edge, "ripple-edge"},
};

char lower_ascii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    }
    return true;
}

template <class Value, std::size_t N>
std::string_view name_of(const NameEntry<Value> (&table)[N], Value value) {
    for (const NameEntry<Value>& entry : table) {
        if (entry.value == value) return entry.name;
    }
    return {};
}

template <class Value, std::size_t N>
std::optional<Value> value_named(const NameEntry<Value> (&table)[N], std::string_view name) {
    for (const NameEntry<Value>& entry : table) {
        if (same_ignoring_case(entry.name, name)) return entry.value;
    }
    return std::nullopt;
}

}  // namespace

std::string_view response_name(Response response) {
    return name_of(kResponseNames, response);
}

std::optional<Response> response_from_name(std::string_view name) {
    return value_named(kResponseNames, name);
}

std::string_view edge_name(ChebyshevEdge edge) {
    return name_of(kEdgeNames, edge);
}

std::optional<ChebyshevEdge> edge_from_name(std::string_view name) {
    return value_named(kEdgeNames, name);
}

RequestError validate_request(const CascadeRequest& request) {
    if (request.order < 1 || request.order > kMaxOrder) return RequestError::order_out_of_range;
    const bool chebyshev = request.response == Response::chebyshev;
    if (request.response == Response::linkwitz_riley && request.order % 2 != 0) {
        return RequestError::odd_linkwitz_riley;
    }
    if (chebyshev && std::isnan(request.ripple_db)) return RequestError::missing_ripple;
    if (chebyshev && !(request.ripple_db >= kMinRippleDb && request.ripple_db <= kMaxRippleDb)) {
        return RequestError::ripple_out_of_range;
    }
    if (!chebyshev && !std::isnan(request.ripple_db)) {
        return RequestError::ripple_without_chebyshev;
    }
    if (!chebyshev && request.edge == ChebyshevEdge::ripple_edge) {
        return RequestError::edge_without_chebyshev;
    }
    return RequestError::none;
}

}  // namespace kestrane
