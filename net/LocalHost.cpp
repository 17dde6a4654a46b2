// Local address discovery (see LocalHost.h).
#include "net/LocalHost.h"

#include <unistd.h>

#include <vector>

#include "net/Resolver.h"

namespace quillet {

void discoverLocalAddresses(ArrayTmpl<WSInfoIP>& addresses) {
  char name[512] = {};
  if (gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  discoverAddressesOf(Str(name), addresses);
}

void discoverAddressesOf(const Str& hostName, ArrayTmpl<WSInfoIP>& addresses) {
  std::vector<NetAddress> found;
  Str official;
  if (hostName.isBlank() || resolveHost(hostName, 0, AddressFamilies::Any, found, official) != 0) {
    addresses.add(WSInfoIP{"127.0.0.1", "localhost"});
    return;
  }
  for (size_t i = 0; i < found.size(); ++i) {
    WSInfoIP entry{found[i].text(), Str()};
    if (i == 0 && !official.isBlank()) {
      entry.name = official;
      if (entry.name.find('.') >= 0) entry.name.toLower();
    } else if (!reverseLookup(found[i], entry.name)) {
      entry.name = entry.ip;
    }
    addresses.add(entry);
  }
}

}  // namespace quillet
