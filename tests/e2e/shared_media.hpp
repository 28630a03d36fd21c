#pragma once

// The shared media collection (../shared/media, read in place) and the tables of reference
// figures for it kept beside these tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {

// A table in this folder, by file name.
std::filesystem::path referenceTable(std::string_view name);

// The tab-separated fields of each line after the header; lines without a tab are skipped.
// Empty when the table is missing.
std::vector<std::vector<std::string>> readReferenceTable(std::string_view name);

// Parameterised over rows that name a `file` of the collection. Skips every test when the
// collection is absent, as it is in a checkout without ../shared.
template <typename Row>
class SharedMediaTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(sharedMediaDirectory())) {
      GTEST_SKIP() << sharedMediaDirectory() << " is absent";
    }
  }

  std::filesystem::path file() const { return sharedMediaDirectory() / this->GetParam().file; }
};

// Names each test of a SharedMediaTest after its row's file.
struct NameByFile {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return parameterName(info.param.file);
  }
};

}  // namespace korvel::e2e
