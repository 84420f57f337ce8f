// Number texts of the wizard's edits, always in the C locale whatever the user's locale says.
#ifndef KARTOVEL_APP_TEXT_EXCHANGE_H_
#define KARTOVEL_APP_TEXT_EXCHANGE_H_

#include <cstdint>
#include <optional>
#include <string>

// Fixed notation with `decimals` digits after the point (as "%.*f").
std::string FormatFixed(double value, int decimals);
// 15 significant digits, shortest form (as "%.15g"): how page values are first written to edits.
std::string FormatSignificant(double value);

// The leading number of `text` read as a single-precision float, as scanf "%f" reads it: leading
// blanks skipped, trailing text ignored. Empty when no number starts the text.
std::optional<float> ScanFloat(const std::string& text);
// The whole text (blanks around allowed) as a double; empty for anything else.
std::optional<double> ParseDouble(const std::string& text);
// The whole text (blanks around allowed) as an unsigned 32-bit decimal number; empty for signs,
// other characters or values above 4294967295.
std::optional<std::uint32_t> ParseUnsigned(const std::string& text);

#endif  // KARTOVEL_APP_TEXT_EXCHANGE_H_
