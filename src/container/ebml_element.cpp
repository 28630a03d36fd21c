#include "container/ebml_element.hpp"

#include <bit>

namespace korvel {
namespace {

// An EBML variable-length number: the count of leading zero bits gives its length.
std::optional<std::uint64_t> readVint(ByteCursor& cursor, int longest, bool keepMarker,
                                      int& length) {
  const auto first = static_cast<std::uint8_t>(cursor.read(1));
  if (!cursor.ok() || first == 0) {
    return std::nullopt;
  }
  length = std::countl_zero(first) + 1;
  if (length > longest) {
    return std::nullopt;
  }
  std::uint64_t value = keepMarker ? first : first & (0xFFu >> length);
  bool allOnes = (first & (0xFFu >> length)) == (0xFFu >> length);
  for (int i = 1; i < length; ++i) {
    const auto byte = static_cast<std::uint8_t>(cursor.read(1));
    value = (value << 8) | byte;
    allOnes = allOnes && byte == 0xFF;
  }
  if (!cursor.ok()) {
    return std::nullopt;
  }
  return !keepMarker && allOnes ? EbmlElement::kUnknownSize : value;
}

}  // namespace

std::optional<EbmlElement> readEbmlElement(ByteWindow& file, std::int64_t at) {
  ByteCursor cursor(file.read(at, 12));
  int idLength = 0;
  int sizeLength = 0;
  const auto id = readVint(cursor, 4, true, idLength);
  const auto size = id ? readVint(cursor, 8, false, sizeLength) : std::nullopt;
  if (!size || (*size != EbmlElement::kUnknownSize && *size > std::uint64_t{1} << 62)) {
    return std::nullopt;
  }
  return EbmlElement{static_cast<std::uint32_t>(*id), at + idLength + sizeLength, *size};
}

std::optional<std::uint64_t> readEbmlUnsigned(ByteWindow& file, const EbmlElement& element) {
  if (!element.sized() || element.size > 8) {
    return std::nullopt;
  }
  ByteCursor cursor(file.read(element.body, static_cast<std::size_t>(element.size)));
  const std::uint64_t value = cursor.read(static_cast<std::size_t>(element.size));
  return cursor.ok() ? std::optional(value) : std::nullopt;
}

}  // namespace korvel
