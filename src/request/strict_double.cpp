#include "request/strict_double.hpp"

#include <locale.h>
#include <stdlib.h>

#include <memory>
#include <string>

namespace korvel {
namespace {

bool isCWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

struct LocaleDeleter {
  void operator()(locale_t locale) const { freelocale(locale); }
};
using LocaleOwner = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

}  // namespace

std::optional<double> parseStrictDouble(std::string_view text) {
  if (text.empty() || isCWhiteSpace(text.front())) {
    return std::nullopt;
  }
  // An explicit C locale keeps the decimal point a full stop whatever the environment says.
  const LocaleOwner cLocale(newlocale(LC_ALL_MASK, "C", nullptr));
  if (!cLocale) {
    return std::nullopt;
  }
  const std::string terminated(text);  // also stops at an embedded 0 byte, which then fails
  char* end = nullptr;
  const double value = strtod_l(terminated.c_str(), &end, cLocale.get());
  if (end == terminated.c_str() || end != terminated.c_str() + terminated.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace korvel
