// IniItem implementation (see IniItem.h).
#include "base/IniItem.h"

namespace quillet {
namespace {

const Str& emptyString() {
  static const Str empty;
  return empty;
}

const ArrayStr& emptyList() {
  static const ArrayStr empty;
  return empty;
}

bool sameList(const ArrayStr& a, const ArrayStr& b) {
  if (a.count() != b.count()) return false;
  for (int i = 1; i <= a.count(); ++i) {
    if (!a[i].equals(b[i])) return false;
  }
  return true;
}

}  // namespace

IniItem::IniItem(const Str& name, int32_t flags) : flags_(flags), name_(name) {
  name_.trim();
  if (name_.empty()) name_ = "UnKnown";
}

Str IniItem::withFlags(const Str& text) const {
  Str result(text);
  if (flags_ & kIniUpperCase) result.toUpper();
  if (flags_ & kIniLowerCase) result.toLower();
  if (flags_ & kIniTrim) result.trim();
  return result;
}

// --- value ---

void IniItem::setString(const Str& value) {
  type_ = IniType::String;
  value_ = withFlags(value);
}

void IniItem::setLongInteger(int32_t value) {
  type_ = IniType::LongInteger;
  value_ = value;
}

void IniItem::setInteger(int32_t value) {
  type_ = IniType::Integer;
  value_ = value;
}

void IniItem::setBoolean(bool value) {
  type_ = IniType::Boolean;
  value_ = static_cast<int32_t>(value ? 1 : 0);
}

void IniItem::setList(const ArrayStr& value) {
  ArrayStr list;
  for (const Str& entry : value) list.add(withFlags(entry));
  type_ = IniType::List;
  value_ = std::move(list);
}

void IniItem::appendToList(const Str& entry) {
  if (type_ != IniType::List || !std::holds_alternative<ArrayStr>(value_)) {
    type_ = IniType::List;
    value_ = ArrayStr();
  }
  std::get<ArrayStr>(value_).add(withFlags(entry));
}

void IniItem::setValueFromText(const Str& text) {
  switch (type_) {
    case IniType::None:
      return;
    case IniType::String:
      setString(text);
      return;
    case IniType::LongInteger:
      setLongInteger(text.toLong());
      return;
    case IniType::Integer:
      setInteger(text.toLong());
      return;
    case IniType::Boolean: {
      Str upper(text);
      upper.toUpper();
      setBoolean(upper.equals("TRUE") || upper.equals("1"));
      return;
    }
    case IniType::List:
      appendToList(text);
      return;
  }
}

const Str& IniItem::stringValue() const {
  const Str* value = std::get_if<Str>(&value_);
  return value ? *value : emptyString();
}

int32_t IniItem::numberValue() const {
  const int32_t* value = std::get_if<int32_t>(&value_);
  return value ? *value : 0;
}

const ArrayStr& IniItem::listValue() const {
  const ArrayStr* value = std::get_if<ArrayStr>(&value_);
  return value ? *value : emptyList();
}

// --- default ---

void IniItem::setDefaultString(const Str& value) { default_ = value; }
void IniItem::setDefaultNumber(int32_t value) { default_ = value; }
void IniItem::setDefaultList(const ArrayStr& value) { default_ = value; }

const Str& IniItem::defaultString() const {
  const Str* value = std::get_if<Str>(&default_);
  return value ? *value : emptyString();
}

int32_t IniItem::defaultNumber() const {
  const int32_t* value = std::get_if<int32_t>(&default_);
  return value ? *value : 0;
}

const ArrayStr& IniItem::defaultList() const {
  const ArrayStr* value = std::get_if<ArrayStr>(&default_);
  return value ? *value : emptyList();
}

// --- compare ---

bool IniItem::sameValue(const Value& a, const Value& b) {
  if (a.index() != b.index()) return false;
  if (const Str* text = std::get_if<Str>(&a)) return text->equals(std::get<Str>(b));
  if (const int32_t* number = std::get_if<int32_t>(&a)) return *number == std::get<int32_t>(b);
  if (const ArrayStr* list = std::get_if<ArrayStr>(&a))
    return sameList(*list, std::get<ArrayStr>(b));
  return true;  // both unset
}

bool IniItem::valueEqualsDefault() const { return sameValue(value_, default_); }

}  // namespace quillet
