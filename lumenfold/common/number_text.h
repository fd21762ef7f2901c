// The one way lumenfold writes a number: printf's %g with the digits given
// (or %f with that many decimals), and a text of the caller's choosing where
// the number is undefined.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

struct NumberFormat {
    int digits = 6;               // significant digits
    const char* undefined = "-";  // for not-a-number
    // Infinity is undefined too; otherwise it is "inf" or "-inf".
    bool finiteOnly = false;
    // digits are decimals after the point (%f), not significant digits (%g).
    bool fixed = false;
};

// As the programs print: six digits; "-" where undefined (text tables).
inline constexpr NumberFormat readableNumber{6, "-", false};
// Ratios and intervals, and rates as people read them: four digits.
inline constexpr NumberFormat shortNumber{4, "-", false};
// Spreadsheets: ten digits, an empty cell where undefined.
inline constexpr NumberFormat cellNumber{10, "", false};
// gnuplot's data: ten digits; it leaves "NaN" points out, infinity as well.
inline constexpr NumberFormat plotNumber{10, "NaN", true};
// The HTML page's tables: four digits, "-" for anything not finite.
inline constexpr NumberFormat pageNumber{4, "-", true};
// A change point's after/before ratio, as history has always shown it: four decimals.
inline constexpr NumberFormat changeRatioNumber{4, "-", false, true};

std::string numberText(double value, const NumberFormat& format);

// JSON has no infinity or not-a-number: both are null.
nlohmann::json numberJson(double value);
