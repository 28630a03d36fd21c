#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ffmpeg/accepted_media.hpp"
#include "ffmpeg/container_rules.hpp"

namespace korvel {
namespace {

// A container added to the accepted list without a timeline rule would silently get the
// library's reading of its header.
TEST(ContainerRules, EveryAcceptedContainerHasItsOwnRule) {
  std::istringstream names{std::string(kAcceptedFormats)};
  for (std::string name; std::getline(names, name, ',');) {
    const AVInputFormat* format = av_find_input_format(name.c_str());
    ASSERT_NE(format, nullptr) << name;
    EXPECT_EQ(containerRule(*format).demuxer, name);
  }
}

}  // namespace
}  // namespace korvel
