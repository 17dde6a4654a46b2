// Date header parsing (see DateParser.h).
#include "decode/DateParser.h"

#include <cctype>
#include <string>
#include <vector>

#include "decode/HeaderBlock.h"

namespace quillet {
namespace {

bool allDigits(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

int toInt(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

std::vector<std::string_view> tokens(std::string_view text) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos < text.size() && out.size() < 16) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ',')) ++pos;
    size_t start = pos;
    while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != ',') ++pos;
    if (pos > start) out.push_back(text.substr(start, pos - start));
  }
  return out;
}

int monthNumber(std::string_view name) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (name.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    if (equalsNoCase(name.substr(0, 3), kMonths[i])) return i + 1;
  }
  return 0;
}

// hh:mm or hh:mm:ss, each field one or two digits.
bool parseClock(std::string_view text, Time& time) {
  int fields[3] = {0, 0, 0};
  int count = 0;
  size_t pos = 0;
  for (;;) {
    size_t colon = text.find(':', pos);
    std::string_view part =
        text.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
    if (count == 3 || part.size() > 2 || !allDigits(part)) return false;
    fields[count++] = toInt(part);
    if (colon == std::string_view::npos) break;
    pos = colon + 1;
  }
  if (count < 2) return false;
  Time parsed{static_cast<uint16_t>(fields[0]), static_cast<uint16_t>(fields[1]),
              static_cast<uint16_t>(fields[2]), 0};
  return assignTime(time, parsed);
}

// Offset from GMT in minutes, positive east.
int zoneMinutes(std::string_view zone) {
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && allDigits(zone.substr(1))) {
    int minutes = toInt(zone.substr(1, 2)) * 60 + toInt(zone.substr(3, 2));
    return zone[0] == '-' ? -minutes : minutes;
  }
  struct Named {
    const char* name;
    int hours;
  };
  static constexpr Named kNamed[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                     {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
  for (const Named& named : kNamed) {
    if (equalsNoCase(zone, named.name)) return named.hours * 60;
  }
  if (zone.size() == 1) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(zone[0])));
    if (c >= 'A' && c <= 'I') return -(c - 'A' + 1) * 60;
    if (c >= 'K' && c <= 'M') return -(c - 'K' + 10) * 60;
    if (c >= 'N' && c <= 'Y') return (c - 'N' + 1) * 60;
  }
  return 0;  // Z, GMT, UT and any name we do not know
}

}  // namespace

MessageDate parseMessageDate(std::string_view text) {
  MessageDate result;
  std::vector<std::string_view> parts = tokens(text);
  size_t i = 0;
  if (i < parts.size() && !parts[i].empty() &&
      std::isalpha(static_cast<unsigned char>(parts[i][0])))
    ++i;  // day name
  if (i + 4 > parts.size()) return result;
  std::string_view day = parts[i], month = parts[i + 1], year = parts[i + 2], clock = parts[i + 3];
  if (!allDigits(day) || day.size() > 2 || !allDigits(year) || year.size() > 4 ||
      monthNumber(month) == 0)
    return result;
  int yearValue = toInt(year);
  if (year.size() <= 2) yearValue += yearValue < 50 ? 2000 : 1900;
  Date date{static_cast<uint16_t>(yearValue), static_cast<uint16_t>(monthNumber(month)), 0,
            static_cast<uint16_t>(toInt(day))};
  if (!isValidDate(date)) return result;
  date.dayOfWeek = static_cast<uint16_t>(dayOfWeek(date));
  Time time;
  if (!parseClock(clock, time)) return result;
  result.zoneMinutes = i + 4 < parts.size() ? zoneMinutes(parts[i + 4]) : 0;
  result.date = date;
  result.time = time;
  result.valid = true;
  return result;
}

}  // namespace quillet
