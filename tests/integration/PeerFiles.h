// Files shared between the integration tests and the servers they start: directories owned
// by the unprivileged user a server drops to, and the files a server leaves in a directory
// (one per received message), read back oldest first.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillet::testing {

inline constexpr uid_t kNobodyUid = 65534;
inline constexpr gid_t kNogroupGid = 65534;

// Makes the directory (mode 755) and gives it to the user; a test not run as root cannot
// give it away, and the server then fails with a reason the test reports.
void makeOwnedDirectory(const std::string& path, uid_t owner = kNobodyUid,
                        gid_t group = kNogroupGid);
// Files whose names start with "." do not count (the Maildir rule).
// The contents of the regular files in directory, in the order they were last written
// (modification time, then name); empty when the directory is missing.
[[nodiscard]] std::vector<std::string> filesInWriteOrder(const std::string& directory);
// Number of regular files in directory.
[[nodiscard]] int countFiles(const std::string& directory);

}  // namespace quillet::testing
