#pragma once

#include <string>
#include <string_view>

namespace korvel {

// The media file's path exactly as the file system stores it: any bytes but 0, relative
// paths left relative.
struct SourcePath {
  std::string path;
};

// Decodes the Base64 path argument; ToolError kBadInvocation when it is not strict Base64
// or holds a 0 byte.
SourcePath decodeSourcePath(std::string_view base64Text);

}  // namespace korvel
