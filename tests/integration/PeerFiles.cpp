// Files shared with the test servers (see PeerFiles.h).
#include "PeerFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "tests/support/FileBytes.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> regularFiles(const std::string& directory) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    // Names starting with "." are not messages (the Maildir rule).
    const bool hidden = it->path().filename().string().front() == '.';
    if (!hidden && it->is_regular_file(error)) files.push_back(it->path());
  }
  return files;
}

}  // namespace

void makeOwnedDirectory(const std::string& path, uid_t owner, gid_t group) {
  ::mkdir(path.c_str(), 0755);
  if (::chown(path.c_str(), owner, group) != 0) {
    // Only root can give the directory away; the server then reports why it cannot write.
  }
}

std::vector<std::string> filesInWriteOrder(const std::string& directory) {
  std::vector<std::pair<timespec, std::string>> written;
  for (const fs::path& file : regularFiles(directory)) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) written.emplace_back(info.st_mtim, file.string());
  }
  std::sort(written.begin(), written.end(), [](const auto& a, const auto& b) {
    if (a.first.tv_sec != b.first.tv_sec) return a.first.tv_sec < b.first.tv_sec;
    if (a.first.tv_nsec != b.first.tv_nsec) return a.first.tv_nsec < b.first.tv_nsec;
    return a.second < b.second;
  });
  std::vector<std::string> contents;
  contents.reserve(written.size());
  for (const auto& entry : written) contents.push_back(readBytes(entry.second));
  return contents;
}

int countFiles(const std::string& directory) {
  return static_cast<int>(regularFiles(directory).size());
}

}  // namespace quillet::testing
