// Readers for nmcli's terse output (see NmcliOutput.h).
#include "platform/NmcliOutput.h"

#include <arpa/inet.h>

namespace quillet {
namespace {

// Calls onLine for every line of output, without its line end.
template <typename OnLine>
void forEachLine(std::string_view output, OnLine onLine) {
  while (!output.empty()) {
    const size_t end = output.find('\n');
    std::string_view line = output.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    onLine(line);
    if (end == std::string_view::npos) break;
    output.remove_prefix(end + 1);
  }
}

bool isDottedIpv4(const std::string& text) {
  in_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

}  // namespace

std::vector<std::string> splitNmcliFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      fields.back() += line[++i];
    } else if (c == ':') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<NmcliConnection> parseNmcliConnections(std::string_view output) {
  std::vector<NmcliConnection> connections;
  forEachLine(output, [&connections](std::string_view line) {
    std::vector<std::string> fields = splitNmcliFields(line);
    if (fields.size() != 2 || fields[0].empty()) return;
    connections.push_back({std::move(fields[0]), std::move(fields[1])});
  });
  return connections;
}

std::string parseNmcliIpv4Address(std::string_view output) {
  std::string found;
  forEachLine(output, [&found](std::string_view line) {
    if (!found.empty()) return;
    const std::vector<std::string> fields = splitNmcliFields(line);
    if (fields.size() != 2 || fields[0].rfind("IP4.ADDRESS", 0) != 0) return;
    std::string address = fields[1].substr(0, fields[1].find('/'));
    if (isDottedIpv4(address)) found = std::move(address);
  });
  return found;
}

}  // namespace quillet
