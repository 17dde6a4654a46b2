// The addresses and names of the local computer: the host name resolved to all its
// addresses (IPv6 and IPv4), each with a name, for greetings and Received lines.
//
// It asks only the system resolver; when anything fails the list is ("127.0.0.1",
// "localhost") alone, so callers always have an entry.
#pragma once

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

// An address in text form and a name for it.
struct WSInfoIP {
  Str ip;
  Str name;
};

// Adds the addresses of the local host name to addresses.
void discoverLocalAddresses(ArrayTmpl<WSInfoIP>& addresses);

// Adds the addresses of hostName: the first gets the resolver's official name (lower-cased
// when it holds a '.'); the others, or the first when that name is blank, the name of a
// reverse look-up or else their own text. Falls back to ("127.0.0.1", "localhost").
void discoverAddressesOf(const Str& hostName, ArrayTmpl<WSInfoIP>& addresses);

}  // namespace quillet
