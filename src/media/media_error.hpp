#pragma once

#include <exception>

namespace korvel {

// A media file that cannot be read, decoded or converted. Like every failure it ends as the one
// failure line, so it carries no detail.
class MediaError : public std::exception {
 public:
  const char* what() const noexcept override { return "media failure"; }
};

}  // namespace korvel
