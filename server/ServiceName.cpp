// Service name from the ".svc" file (see ServiceName.h).
#include "server/ServiceName.h"

#include <string>

#include "base/File.h"

namespace quillet {

Str cleanServiceName(std::string_view fileBytes) {
  std::string kept;
  for (char c : fileBytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte <= 0x79) kept.push_back(c);
  }
  Str name(kept);
  name.trim();
  return name.empty() ? Str(kDefaultServiceName) : name;
}

Str serviceNameFilePath(const Str& programDirectory, const Str& programPath) {
  std::string_view path = programPath.view();
  const size_t slash = path.rfind('/');
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
  Str result = programDirectory;
  result.append(base);
  result += ".svc";
  return result;
}

Str readServiceName(const Str& path) {
  File file(path);
  if (!file.open(File::kReadSharedOnce)) return kDefaultServiceName;
  const int64_t size = file.size();
  if (size < 0 || size > kMaxServiceFileBytes) return kDefaultServiceName;
  char buffer[kMaxServiceFileBytes + 1];
  // One byte more than allowed, so a file that grew after size() still counts as too long.
  const ReadResult got = file.read(buffer, sizeof buffer);
  if (got.failed() || got.bytes > kMaxServiceFileBytes) return kDefaultServiceName;
  return cleanServiceName(std::string_view(buffer, static_cast<size_t>(got.bytes)));
}

}  // namespace quillet
