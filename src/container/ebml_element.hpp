#pragma once

#include <cstdint>
#include <optional>

#include "container/byte_window.hpp"

namespace korvel {

// One element of an EBML file (Matroska, WebM): its ID (length marker kept), where its payload
// starts, and its size (kUnknownSize when the writer did not know it).
struct EbmlElement {
  static constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};

  std::uint32_t id = 0;
  std::int64_t body = 0;
  std::uint64_t size = 0;

  bool sized() const { return size != kUnknownSize; }
  std::int64_t end() const { return body + static_cast<std::int64_t>(size); }
};

// The element that starts at `at`; nothing when its ID or size cannot be read or its size
// runs past what a file can hold.
std::optional<EbmlElement> readEbmlElement(ByteWindow& file, std::int64_t at);

// The unsigned integer an element holds (at most 8 bytes).
std::optional<std::uint64_t> readEbmlUnsigned(ByteWindow& file, const EbmlElement& element);

}  // namespace korvel
