#!/usr/bin/python3
"""Doubles at and around the geometric midpoints of neighbouring members, with the member each
is nearer to, decided in exact rational arithmetic (v^2 against lower * upper), for
tests/circuit/nearest_member_cases.h: within two ulps of midpoints across decades, down to the
subnormals and up to 1e292, and the first dozen doubles of E12 and E192 midpoints from 1e-12 to
1e7 where double arithmetic alone (the rounded square against the rounded product of the members,
as preferred_values.cpp forms it) ties or decides the wrong way.

    nearest_member_cases.py > tests/circuit/nearest_member_cases.h
"""
import math
import struct
from fractions import Fraction

from mpmath import mp, mpf, sqrt

mp.dps = 60

E12 = [100, 120, 150, 180, 220, 270, 330, 390, 470, 560, 680, 820]
E192_PART = [100, 101, 102, 104, 105, 106, 107, 109, 110, 111, 113, 114, 115, 117, 118, 120]
E24_PART = [270, 300, 330, 360, 390]
SERIES = {"e12": E12, "e192": E192_PART, "e24": E24_PART}


def next_double(x, steps):
    bits = struct.unpack("<q", struct.pack("<d", x))[0] + steps
    return struct.unpack("<d", struct.pack("<q", bits))[0]


def decimal(hundredths, exponent):
    return Fraction(hundredths) * Fraction(10) ** exponent


def cases():
    pairs = [("e12", 4, 5, -11), ("e12", 11, None, -13), ("e192", 0, 1, 2), ("e192", 14, 15, 4),
             ("e24", 1, 2, -300), ("e24", 3, 4, 290), ("e12", 2, 3, -322)]
    for name, i, j, exponent in pairs:
        members = SERIES[name]
        lower = decimal(members[i], exponent)
        # The last member of a decade neighbours the first of the next (E12's 8.2 and 10).
        upper = decimal(members[j], exponent) if j is not None else decimal(100, exponent + 1)
        upper_text = (f"{members[j]}e{exponent}" if j is not None else f"100e{exponent + 1}")
        lower_text = f"{members[i]}e{exponent}"
        product = lower * upper
        middle = float(sqrt(mpf(product.numerator) / mpf(product.denominator)))
        for steps in range(-2, 3):
            v = next_double(middle, steps)
            if v == 0 or math.isinf(v):
                continue
            above = Fraction(v) * Fraction(v) >= product
            yield name, v, upper_text if above else lower_text


def table_power(x, exponent):
    """times_power_of_ten of preferred_values.cpp: one rounded power of ten, one rounding."""
    power = max(-49, min(49, exponent))
    return x * float(10**power) if power >= 0 else x / float(10**-power)


def misjudged_cases(count, strict):
    """Doubles that the rounded comparison misjudges: by a wrong sign (strict) or by a tie."""
    found = []
    for name in ("e12", "e192"):
        members = SERIES[name]
        for exponent in range(-14, 6):
            for lower, upper in zip(members, members[1:]):
                product = decimal(lower * upper, 2 * exponent)
                rounded = table_power(table_power(float(lower * upper), exponent), exponent)
                middle = float(sqrt(mpf(product.numerator) / mpf(product.denominator)))
                for steps in range(-3, 4):
                    v = next_double(middle, steps)
                    above = Fraction(v) * Fraction(v) >= product
                    square = v * v
                    if strict:
                        wrong = square != rounded and (square > rounded) != above
                    else:
                        wrong = square == rounded
                    if wrong and len(found) < count:
                        found.append((name, v, f"{upper if above else lower}e{exponent}"))
    return found


def main():
    print("// Doubles at and around the geometric midpoints of neighbouring members and the member")
    print("// each is nearer to, decided in exact rational arithmetic by")
    print("// tests/tools/nearest_member_cases.py (v^2 against lower * upper). Generated; do not edit.")
    print("#pragma once")
    print()
    print("struct NearestMemberCase {")
    print("    const char* series;")
    print("    double value;")
    print("    const char* member;  // decimal text, for strtod")
    print("};")
    print()
    print("inline constexpr NearestMemberCase kNearestMemberCases[] = {")
    for name, v, member in list(cases()) + misjudged_cases(6, True) + misjudged_cases(6, False):
        print(f'    {{"{name}", {v!r}, "{member}"}},')
    print("};")


main()
