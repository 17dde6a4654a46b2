// Readers for the terse output of NetworkManager's command-line client ("nmcli -t"):
// fields separated by ':' with ':' and '\' inside a value escaped by a '\'.
//
// Pure: text in, values out. The output is untrusted in shape: lines of any length and
// with any number of fields are accepted, lines that do not fit the expected layout are
// skipped, and an address is only returned when it is a valid dotted IPv4 address.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The fields of one terse line, escapes removed (a trailing lone '\' is kept).
[[nodiscard]] std::vector<std::string> splitNmcliFields(std::string_view line);

// One line of "nmcli -t -f NAME,STATE connection show --active".
struct NmcliConnection {
  std::string name;
  std::string state;  // "activated", "activating", "deactivating", ...
};

// The connections listed by "nmcli -t -f NAME,STATE connection show --active"; lines
// without exactly two fields or with an empty name are skipped.
[[nodiscard]] std::vector<NmcliConnection> parseNmcliConnections(std::string_view output);

// The first IPv4 address of "nmcli -t -f IP4.ADDRESS connection show id NAME" lines such
// as "IP4.ADDRESS[1]:192.0.2.7/24", without its prefix length; empty when none is valid.
[[nodiscard]] std::string parseNmcliIpv4Address(std::string_view output);

}  // namespace quillet
