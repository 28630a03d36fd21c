#include "cli/source_location.hpp"

#include "cli/base64.hpp"
#include "cli/tool_error.hpp"

namespace korvel {

SourceLocation decodeSourcePath(std::string_view base64Text) {
  std::optional<std::string> path = decodeBase64Strict(base64Text);
  if (!path || path->find('\0') != std::string::npos) {
    throw ToolError(ToolError::kBadInvocation);
  }
  return SourceLocation{std::move(*path)};
}

}  // namespace korvel
