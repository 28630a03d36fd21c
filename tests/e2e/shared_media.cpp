#include "shared_media.hpp"

#include <cstddef>
#include <fstream>
#include <utility>

namespace korvel::e2e {

std::filesystem::path referenceTable(std::string_view name) {
  return (fixturePath("") / ".." / "e2e" / name).lexically_normal();
}

std::vector<std::vector<std::string>> readReferenceTable(std::string_view name) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream input(referenceTable(name));
  std::string line;
  std::getline(input, line);  // header
  while (std::getline(input, line)) {
    if (line.find('\t') == std::string::npos) {
      continue;
    }
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    rows.push_back(std::move(fields));
  }
  return rows;
}

}  // namespace korvel::e2e
