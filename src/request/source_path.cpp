#include "request/source_path.hpp"

#include "request/base64.hpp"
#include "request/tool_error.hpp"

namespace korvel {

SourcePath decodeSourcePath(std::string_view base64Text) {
  std::optional<std::string> path = decodeBase64Strict(base64Text);
  if (!path || path->find('\0') != std::string::npos) {
    throw ToolError(ToolError::kBadInvocation);
  }
  return SourcePath{std::move(*path)};
}

}  // namespace korvel
