// IniStore implementation (see IniStore.h): registration, lookup, and the reading and
// writing of the settings file through File.
#include "base/IniStore.h"

#include "base/File.h"
#include "base/FileSystem.h"
#include "base/ProcessContext.h"

namespace quillet {
namespace {

// Bytes that end a line when the file is read back, or that a value cannot carry.
bool holdsLineBreakingByte(const Str& text) {
  return text.find('\r') >= 0 || text.find('\n') >= 0 || text.find('\0') >= 0 ||
         text.find('\x1A') >= 0;
}

// The text of a number or boolean value as written to the file.
Str numberText(const IniItem& item) {
  if (item.type() == IniType::Boolean) return Str(item.booleanValue() ? "True" : "False");
  return Str::fromInt(item.numberValue());
}

Str settingsLine(const IniItem& item, const Str& value) { return item.name() + "=" + value; }

}  // namespace

IniStore::IniStore(const Str& fileName) : fileName_(fileName) {}

// --- registration ---

int IniStore::registerString(const Str& name, const Str& defaultValue, int32_t flags) {
  IniItem item(name, flags);
  item.setString(defaultValue);
  item.setDefaultString(defaultValue);
  return items_.add(std::move(item));
}

int IniStore::registerInteger(const Str& name, int32_t defaultValue) {
  IniItem item(name);
  item.setInteger(defaultValue);
  item.setDefaultNumber(defaultValue);
  return items_.add(std::move(item));
}

int IniStore::registerBoolean(const Str& name, bool defaultValue) {
  IniItem item(name);
  item.setBoolean(defaultValue);
  item.setDefaultNumber(defaultValue ? 1 : 0);
  return items_.add(std::move(item));
}

int IniStore::registerList(const Str& name, int32_t flags) {
  IniItem item(name, flags);
  item.setList(ArrayStr());
  item.setDefaultList(ArrayStr());
  return items_.add(std::move(item));
}

// --- lookup ---

int IniStore::find(const Str& name) const {
  if (name.empty()) return 0;
  for (int i = 1; i <= items_.count(); ++i) {
    if (items_[i].name().equalsIgnoreCase(name)) return i;
  }
  return 0;
}

Str IniStore::string(const Str& name) const {
  int index = find(name);
  return index == 0 ? Str() : items_[index].stringValue();
}

int32_t IniStore::integer(const Str& name) const {
  int index = find(name);
  return index == 0 ? 0 : items_[index].numberValue();
}

bool IniStore::boolean(const Str& name) const {
  int index = find(name);
  return index != 0 && items_[index].booleanValue();
}

const ArrayStr& IniStore::list(const Str& name) const {
  static const ArrayStr empty;
  int index = find(name);
  return index == 0 ? empty : items_[index].listValue();
}

// --- reading ---

void IniStore::applyLine(const Str& line) {
  // No settings line holds a NUL byte; one that does is damage, not a value.
  if (line.find('\0') >= 0) return;
  Str text(line);
  text.trim();
  if (text.at(0) == ';') return;
  int equals = text.find('=');
  if (equals < 0) return;
  Str key = text.left(equals);
  key.trim();
  Str value = text.mid(equals + 1);
  value.trim();
  int index = find(key);
  if (index == 0) return;
  // Set in place: replacing the item by an updated copy would copy a list key's whole
  // list for every line, quadratic in the number of its lines.
  items_[index].setValueFromText(value);
}

bool IniStore::read() {
  reread_.record(fileName_);
  File file(fileName_);
  if (!file.open(File::kReadShared)) return false;
  Str line;
  bool insideCutLine = false;
  ReadState got;
  while ((got = file.readLine(line)) == ReadState::kData) {
    // A line that ends past the limit is not used.
    if (file.seek(SEEK_CUR, 0) > kMaxSettingsFileBytes) {
      ProcessContext::instance().writeMessage(
          "Settings file " + fileName_.oemToAnsiCopy().toStd() + " is longer than " +
          std::to_string(kMaxSettingsFileBytes) + " bytes; the rest is ignored");
      break;
    }
    // The file layer hands a line over its limit out in pieces; none of them is a setting.
    bool cut = line.length() >= File::kMaxLineLength;
    if (cut || insideCutLine) {
      insideCutLine = cut;
      continue;
    }
    applyLine(line);
  }
  static_cast<void>(file.close());  // opened for reading only: nothing to lose
  return got != ReadState::kFailed;
}

// --- writing ---

bool IniStore::allValuesWritable() const {
  for (const IniItem& item : items_) {
    if (item.type() == IniType::String && holdsLineBreakingByte(item.stringValue())) return false;
    if (item.type() == IniType::List) {
      for (const Str& entry : item.listValue()) {
        if (holdsLineBreakingByte(entry)) return false;
      }
    }
  }
  return true;
}

bool IniStore::write() const {
  if (fileName_.isBlank() || !allValuesWritable()) return false;
  // Replaced in one step: a failed write never leaves a cut-off settings file behind.
  DurableReplace replacement(fileName_);
  if (!replacement.begin()) return false;
  File& file = replacement.file();
  for (const IniItem& item : items_) {
    if (item.type() == IniType::None || !item.hasValue() || item.valueEqualsDefault()) continue;
    bool complete = true;
    switch (item.type()) {
      case IniType::None:
        break;
      case IniType::String:
        complete = file.writeLine(settingsLine(item, item.stringValue()));
        break;
      case IniType::LongInteger:
      case IniType::Integer:
      case IniType::Boolean:
        complete = file.writeLine(settingsLine(item, numberText(item)));
        break;
      case IniType::List:
        for (const Str& entry : item.listValue()) {
          complete = file.writeLine(settingsLine(item, entry));
          if (!complete) break;
        }
        break;
    }
    if (!complete) return false;
  }
  return replacement.commit();
}

}  // namespace quillet
