#pragma once
// The general number format of the recorder's texts (the data file, the exchange files, the
// settings file, the readout): one rule with a few parameters, whatever the C library's locale.

#include <string>
#include <string_view>

namespace numbers {

// How the exponent and the values without digits are spelt.
enum class TExponentSpelling {
    // As C's "%g": "1.5e+16", "9e-06", "1e+300"; "nan", "inf", and the sign bit always ("-0").
    Printf,
    // "1.5E16", "9E-6"; "NAN", "INF", "-INF", and a sign only below zero ("0" for -0).
    Short,
};

// At most Precision significant digits, trailing zeros and a bare separator dropped; written out
// from 10^LowestPlain (-5: "0.00005") up to Precision integer digits, with an exponent beyond.
// C's "%g" is LowestPlain -4 with the Printf spelling.
struct TGeneralFormat {
    int Precision;
    std::string_view DecimalPoint;
    int LowestPlain;
    TExponentSpelling Spelling;
};

// The value in the general format.
std::string GeneralText(long double value, const TGeneralFormat& format);

// Appends the value as the data and exchange files have it: GeneralText with 15 digits, the given
// decimal separator, LowestPlain -5 and the Printf spelling; quick for the numbers a trace holds.
void AppendGeneral(std::string& out, double value, char decimalPoint);

} // namespace numbers
