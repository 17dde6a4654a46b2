// Runnel's program entry. For now it prints the banner and the program directory it
// would work in; the server run, service mode and display are added on top of this.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Memory.h"
#include "server/Banner.h"

int main() {
  quillet::installOutOfMemoryHandler();
  std::fputs(quillet::bannerText(false).c_str(), stdout);
  const char* home = std::getenv("QUILLET_HOME");
  std::printf("Program directory: %s\n", home && *home ? home : "(directory of the program)");
  return 0;
}
