// Tests, dates and deletes files by name.
#include "base/FileNames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Clock.h"

namespace quillet {

bool fileExists(const Str& name) {
  if (name.isBlank()) return false;
  struct stat info {};
  return ::stat(name.oemToAnsiCopy().c_str(), &info) == 0;
}

bool fileLastWrite(const Str& name, Date& date, Time& time) {
  if (name.isBlank()) return false;
  struct stat info {};
  if (::stat(name.oemToAnsiCopy().c_str(), &info) != 0) return false;
  const Timer when = localTimeAt(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  date = when.date;
  time = when.time;
  return true;
}

bool removeFile(const Str& name) {
  if (name.isBlank()) return false;
  const Str systemName = name.oemToAnsiCopy();
  if (::unlink(systemName.c_str()) == 0) return true;
  return errno == ENOENT;
}

}  // namespace quillet
