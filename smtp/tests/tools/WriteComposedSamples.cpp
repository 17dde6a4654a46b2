// Writes every composed test sample (the four structures and the hostile ones) into a
// directory, so that an independent MIME parser can check them (check_composed.py).
//   write_composed_samples DIRECTORY
// Each sample becomes DIRECTORY/<name>.eml in transfer form, as the queue holds it.
#include <cstdio>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "server/queue/QueueStore.h"
#include "smtp/SMTPEncode.h"
#include "smtp/tests/ComposedSamples.h"

using namespace quillet;
using namespace quillet::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string directory = std::string(argv[1]) + "/";
  const std::string files = directory + "files/";
  if (!makePrivateDirectory(Str(std::string_view(directory))) ||
      !makePrivateDirectory(Str(std::string_view(files)))) {
    std::fprintf(stderr, "cannot create %s\n", directory.c_str());
    return 1;
  }
  std::vector<ComposedSample> samples = structureSamples(files);
  for (ComposedSample& sample : hostileSamples(files)) samples.push_back(sample);

  const QueueStore store{Str(std::string_view(directory))};
  for (ComposedSample& sample : samples) {
    sample.parameters.directory = Str(std::string_view(directory));
    Str path;
    const int result = SMTPEncode(store).compose(sample.message, sample.parameters, path);
    const std::string target = directory + sample.name + ".eml";
    if (result != 0 || std::rename(path.c_str(), target.c_str()) != 0) {
      std::fprintf(stderr, "%s: composing failed (%d)\n", sample.name.c_str(), result);
      return 1;
    }
  }
  return 0;
}
