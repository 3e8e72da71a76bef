// The IEC 60063 preferred-number series E6 to E192 and rounding to their members.
//
// A series lists the members of one decade as numbers from 1 to below 10; the members of
// every other decade are the same numbers times a power of ten. The tables are the
// standard's: E24 and the series below it are not the rounded values of 10^(i/24) (E24 has
// 2.7, 3.0, 3.3, 3.6, 3.9, 4.3, 4.7 and 8.2), and E192 has 9.20 where that formula gives
// 9.19. E6 and E12 are subsets of E24, and E48 and E96 subsets of E192; E24 is not a subset
// of E48.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kestrane {

enum class PreferredSeries { e6, e12, e24, e48, e96, e192 };

// Every series, smallest first.
inline constexpr PreferredSeries kPreferredSeries[] = {PreferredSeries::e6,  PreferredSeries::e12,
                                                       PreferredSeries::e24, PreferredSeries::e48,
                                                       PreferredSeries::e96, PreferredSeries::e192};

// The members of one decade of `series` in hundredths, rising strictly from 100 (1.00) to
// at most 988 (9.88): 6, 12, 24, 48, 96 or 192 values. E24 and below have two significant
// digits (270 is 2.7), E48 and above three.
std::span<const std::uint16_t> series_members(PreferredSeries series);

// The series' name as the page's selectors write it: "E6", "E12", "E24", "E48", "E96",
// "E192".
std::string_view series_name(PreferredSeries series);

// The series that `name` names as series_name writes it, in either case ("E96" or "e96"; no
// spaces); no value for any other text.
std::optional<PreferredSeries> series_from_name(std::string_view name);

// The member of `series` nearest to `value` on a logarithmic scale, over every decade, with
// the sign of `value` kept: of the two members `lower` < |value| < `upper` around it, the one
// whose ratio to |value| is nearer 1, that is `upper` when value^2 >= lower * upper as exact
// arithmetic decides it. A value exactly at a geometric midpoint would go to `upper`; no
// float lies on one (no product of two neighbouring members is the square of a binary
// fraction), and none comes within 1e-12 of one, relative, so every value goes to its
// strictly nearer member. The result is the double nearest to the decimal member (15 nF is
// the double nearest 1.5e-8, not a float near it). Zeros, infinities and not-a-numbers come
// back unchanged. Values are floats, the search's parts; a member may lie beyond the float
// range (E48's 3.48e38 for magnitudes from about 3.3991e38 up to the largest float).
double nearest_preferred(float value, PreferredSeries series);

// The member of `series` nearest to `value` on a logarithmic scale, for any double: as
// nearest_preferred, with value^2 >= lower * upper decided exactly (in wide integers where the
// doubles cannot tell), so a double however close to a geometric midpoint goes to the member it
// is nearer to; exactly at one (a value whose square is the product of two neighbours) it goes
// to `upper`. For a float the same member as nearest_preferred. Zeros, infinities and
// not-a-numbers come back unchanged; members beyond the double range come back infinite.
double nearest_member(double value, PreferredSeries series);

// The members of `series` from `low` to `high` ohms or farads (0 < low, high finite), rising,
// each the double nearest to it (the values nearest_preferred returns). Writes the first
// out.size() of them into `out` and returns how many there are, which may be more. Bounds
// outside those limits list nothing.
std::size_t preferred_members(PreferredSeries series, double low, double high,
                              std::span<double> out);

}  // namespace kestrane
