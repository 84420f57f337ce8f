// Number texts of the wizard's edits in the C locale (Qt sets the user's locale at start-up).
#include "app/text_exchange.h"

#include <locale.h>

#include <charconv>
#include <cstdlib>

namespace {

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool OnlyBlanksFrom(const char* p) {
  while (*p && IsBlank(*p)) ++p;
  return *p == '\0';
}

std::string ToChars(double value, std::chars_format format, int precision) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
  return ToChars(value, std::chars_format::fixed, decimals);
}

std::string FormatSignificant(double value) {
  return ToChars(value, std::chars_format::general, 15);
}

std::optional<float> ScanFloat(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const float value = strtof_l(begin, &end, CLocale());
  if (end == begin) return std::nullopt;
  return value;
}

std::optional<double> ParseDouble(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = strtod_l(begin, &end, CLocale());
  if (end == begin || !OnlyBlanksFrom(end)) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ParseUnsigned(const std::string& text) {
  const char* p = text.c_str();
  while (*p && IsBlank(*p)) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (p == digits || !OnlyBlanksFrom(p)) return std::nullopt;
  std::uint32_t value = 0;
  const auto result = std::from_chars(digits, p, value);
  if (result.ec != std::errc()) return std::nullopt;
  return value;
}
