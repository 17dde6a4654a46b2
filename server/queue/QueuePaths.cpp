// Queue directory and file names, index paths and relocation by base name.
#include "server/queue/QueuePaths.h"

namespace quillet {

namespace {

// Position just after the last separator of a stored path, 0 when it has none.
int baseNameStart(const Str& path) {
  for (int i = path.length() - 1; i >= 0; --i) {
    const char c = path.at(i);
    if (c == '/' || c == '\\' || c == ':') return i + 1;
  }
  return 0;
}

}  // namespace

const char* queueDirectoryName(QueueNumber queue) {
  switch (queue) {
    case QueueNumber::Inbound:
      return "MSG-IN";
    case QueueNumber::Outbound:
      return "MSG-OUT";
  }
  return "MSG-IN";
}

const char* indexExtension(QueueNumber queue) {
  switch (queue) {
    case QueueNumber::Inbound:
      return "INX";
    case QueueNumber::Outbound:
      return "ONX";
  }
  return "INX";
}

Str baseNameOf(const Str& path) { return path.mid(baseNameStart(path)); }

Str indexPathOf(const Str& messagePath, QueueNumber queue) {
  const int nameStart = baseNameStart(messagePath);
  int dot = -1;
  for (int i = messagePath.length() - 1; i >= nameStart; --i) {
    if (messagePath.at(i) == '.') {
      dot = i;
      break;
    }
  }
  const Str stem = dot >= 0 ? messagePath.left(dot) : messagePath;
  return stem + "." + indexExtension(queue);
}

Str relocatePath(const Str& storedPath, const Str& queueDirectory) {
  return queueDirectory + baseNameOf(storedPath);
}

}  // namespace quillet
