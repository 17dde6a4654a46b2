// IniItem: one setting of the settings store, with its type, value flags, name, current
// value and default.
//
// The value and the default are each unset or one of: a string (type String), a 32-bit
// signed number (LongInteger, Integer; Boolean holds 0 or 1) or a list of strings (List).
// Setting a value replaces the previous one and sets the item's type. The value flags are
// applied to every string or list entry that is set as a value, never to the default.
//
// It does not know the file syntax beyond the conversion of one value text by the item's
// type (setValueFromText); reading and writing the file is IniStore's job.
#pragma once

#include <cstdint>
#include <variant>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

// Types as numbered in the settings store; the numbers are part of its contract.
enum class IniType : int32_t {
  None = 0,
  String = 1,
  LongInteger = 2,
  Integer = 3,
  Boolean = 4,
  List = 5,
};

// Value flags, applied in this order: upper-case, lower-case, trim spaces at both ends.
inline constexpr int32_t kIniUpperCase = 1;
inline constexpr int32_t kIniLowerCase = 2;
inline constexpr int32_t kIniTrim = 4;

class IniItem {
 public:
  // An item without type or value. The name is trimmed of spaces; an empty name becomes
  // "UnKnown".
  explicit IniItem(const Str& name = Str(), int32_t flags = 0);

  IniType type() const { return type_; }
  int32_t flags() const { return flags_; }
  const Str& name() const { return name_; }
  bool hasValue() const { return !std::holds_alternative<std::monostate>(value_); }
  bool hasDefault() const { return !std::holds_alternative<std::monostate>(default_); }

  // --- set the value (sets the type; strings and list entries get the flags) ---
  void setString(const Str& value);
  void setLongInteger(int32_t value);
  void setInteger(int32_t value);
  void setBoolean(bool value);
  void setList(const ArrayStr& value);
  // Appends one entry to the list value; an item that holds no list becomes an empty
  // list of type List first.
  void appendToList(const Str& entry);

  // --- set the default (the type is left as it is; no flags) ---
  void setDefaultString(const Str& value);
  void setDefaultNumber(int32_t value);  // LongInteger, Integer and Boolean (0 or 1)
  void setDefaultList(const ArrayStr& value);

  // Sets the value from the text of a settings line by the item's type: String the text,
  // LongInteger and Integer the number at its start by C atol rules (0 when there is
  // none), Boolean true for "TRUE" or "1" in any case, List appends the text, None
  // nothing.
  void setValueFromText(const Str& text);

  // --- read the value; an unset value or one of another kind reads as empty or 0 ---
  const Str& stringValue() const;
  int32_t numberValue() const;
  bool booleanValue() const { return numberValue() != 0; }
  const ArrayStr& listValue() const;
  const Str& defaultString() const;
  int32_t defaultNumber() const;
  const ArrayStr& defaultList() const;

  // True when value and default are both unset or hold the same value (strings and list
  // entries compared case-sensitively).
  [[nodiscard]] bool valueEqualsDefault() const;

 private:
  using Value = std::variant<std::monostate, Str, int32_t, ArrayStr>;

  Str withFlags(const Str& text) const;
  static bool sameValue(const Value& a, const Value& b);

  IniType type_ = IniType::None;
  int32_t flags_ = 0;
  Str name_;
  Value value_;
  Value default_;
};

}  // namespace quillet
