// Unit name and unit text of the service (see ServiceUnit.h).
#include "server/ServiceUnit.h"

#include <cctype>
#include <cstdio>

#include "server/Banner.h"

namespace quillet {

namespace {

bool keptInUnitName(unsigned char c) {
  return std::isalnum(c) != 0 || c == ':' || c == '_' || c == '.' || c == '-';
}

bool hasControlCharacter(const std::string& text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// '%' starts a specifier in every unit setting.
std::string escapeSpecifiers(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '%') result += '%';
    result += c;
  }
  return result;
}

// A double-quoted value of ExecStart= or Environment=.
std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (char c : escapeSpecifiers(text)) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

}  // namespace

std::optional<std::string> unitNameFor(const Str& serviceName) {
  std::string name;
  for (char c : serviceName.view()) {
    const auto byte = static_cast<unsigned char>(c);
    if (keptInUnitName(byte)) {
      name += c;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      name += escaped;
    }
  }
  name += ".service";
  if (name.size() > kMaxUnitNameLength) return std::nullopt;
  return name;
}

std::optional<std::string> unitFileText(const Str& serviceName, const std::string& programPath,
                                        const std::string& programDirectory) {
  if (programPath.empty() || programDirectory.empty()) return std::nullopt;
  if (hasControlCharacter(programPath) || hasControlCharacter(programDirectory))
    return std::nullopt;
  std::string text;
  text += "# Written by \"runnel install\"; \"runnel remove\" stops the service and deletes it.\n";
  text += "[Unit]\n";
  text += "Description=" + escapeSpecifiers(serviceName.toStd()) + " (" + kProgramTitle +
          " mail collector)\n";
  text += "Wants=network-online.target\n";
  text += "After=network-online.target\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + quoted(programPath) + "\n";
  // WorkingDirectory= takes the rest of the line as the path, without quotes.
  text += "WorkingDirectory=" + escapeSpecifiers(programDirectory) + "\n";
  text += "Environment=" + quoted("QUILLET_HOME=" + programDirectory) + "\n";
  // The stop sequence may take several minutes before it gives up on a thread.
  text += "TimeoutStartSec=900\n";
  text += "TimeoutStopSec=900\n";
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

}  // namespace quillet
