// Str: the system's reference-counted string.
//
// A Str is one pointer to a body (length, text, capacity, extra references, owner thread).
// Copies share a body only on the thread that created it; a copy made on any other thread
// gets its own body at once, so bodies never cross threads and the count needs no lock.
// Every changing operation first makes the body unique (copy on write). Capacity grows in
// steps of 32 bytes. The text is always followed by a 0 byte but may itself hold 0 bytes.
//
// Positions are 0-based; searches return -1 when nothing is found. Lengths are 32-bit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

class Buff;
class FastStr;

class Str {
 public:
  Str();
  Str(const char* text);  // NOLINT: implicit on purpose, texts are passed as literals
  Str(const char* text, int length);
  Str(char c, int count);
  explicit Str(std::string_view text);
  explicit Str(const Buff& buffer);  // the buffer's text up to its first 0 byte
  explicit Str(const FastStr& text);
  Str(const Str& other);
  Str(Str&& other) noexcept;
  ~Str();

  Str& operator=(const Str& other);
  Str& operator=(Str&& other) noexcept;
  Str& operator=(const char* text);

  static Str fromInt(long long value);
  static Str fromUInt(unsigned long long value);

  // --- access ---
  const char* c_str() const;
  int length() const;
  bool empty() const { return length() == 0; }
  int capacity() const;
  char at(int pos) const;  // 0 outside 0..length-1
  std::string_view view() const { return {c_str(), static_cast<size_t>(length())}; }
  std::string toStd() const { return std::string(view()); }
  // Writable text of the unique body; valid until the next change of the string.
  char* data();

  // --- append ---
  Str& append(const char* text);
  Str& append(const char* text, int length);
  Str& append(const Str& other);
  Str& append(std::string_view text) { return append(text.data(), static_cast<int>(text.size())); }
  Str& append(char c);
  Str& append(char c, int count);
  Str& operator+=(const char* text) { return append(text); }
  Str& operator+=(const Str& other) { return append(other); }
  Str& operator+=(char c) { return append(c); }

  // --- parts ---
  Str left(int n) const;             // the first n characters (all when n >= length)
  Str mid(int pos) const;            // from pos to the end; empty when pos is past it
  Str& keepMid(int pos, int count);  // in place: count characters from pos, cut to the end
  Str& setLength(int n);             // cut to n, or pad with spaces to n

  // --- trim ---
  Str& trim();             // spaces at both ends
  Str& trimLeft();         // spaces at the left
  Str& trimRight();        // spaces at the right
  Str& trimLeft(char c);   // the given character at the left
  Str& trimRight(char c);  // the given character at the right
  Str& trimRightWhite();   // white space (isspace) at the right
  Str& trimWhite();        // white space at both ends
  // Trims, then strips one pair of surrounding '...' or "..." (with brackets also (...)
  // and <...>), repeatedly until none is left.
  Str& stripQuotes(bool brackets = false);

  // --- case ---
  Str& toUpper();
  Str& toLower();

  // --- search ---
  int find(char c, int from = 0) const;
  int find(const char* text, int from = 0) const;
  int find(const Str& text, int from = 0) const;
  int count(char c) const;

  // --- replace ---
  // Replace every occurrence (or only the first maxCount when maxCount >= 0).
  Str& replace(char from, char to, int maxCount = -1);
  Str& replace(const char* from, const char* to, int maxCount = -1);
  Str& remove(char c);

  // --- compare ---
  // The comparison core. exactLength: lengths must match; prefixOnly: text must start with
  // other; otherwise both agree over the shorter length and the rest of the longer one is
  // only spaces (so "" equals "  ").
  static bool compare(const char* text, int length, const char* other, int otherLength,
                      bool exactLength, bool ignoreCase, bool prefixOnly);
  bool equals(const Str& other) const;  // case-sensitive, same length
  bool equals(const char* other) const;
  bool equalsIgnoreCase(const Str& other) const;  // same length, case ignored
  bool equalsIgnoreCase(const char* other) const;
  // Equal apart from trailing spaces, optionally ignoring case.
  bool sameText(const Str& other, bool ignoreCase) const;
  bool startsWith(const char* prefix, bool ignoreCase = true) const;
  bool isBlank() const;  // empty or only spaces

  // --- numbers ---
  // The number at the start, by C atol rules (white space, sign, digits), as 32 bits.
  int32_t toLong() const;

  // --- code page ---
  // OEM is code page 850 (the data and settings files); ANSI is UTF-8. A string without
  // bytes of 0x80 or above is left unchanged; unmappable characters become '?'.
  Str& oemToAnsi();
  Str& ansiToOem();
  Str oemToAnsiCopy() const;
  Str ansiToOemCopy() const;

  // --- tests ---
  bool is7Bit() const;
  // Only atom characters: letters, digits, space, '|' and !#$%&'*+-./=?^_{}~` (the full
  // stop only when allowDot).
  bool isAtom(bool allowDot = true) const;
  static bool endsWithCrLf(const Buff& buffer);

  // --- dot handling (SMTP/POP3 transparency) ---
  Str& dotStuff();    // "." in front of a line that starts with "."
  Str& dotUnstuff();  // drop the first "." of a line that starts with ".."

  // --- enclose ---
  static Str encloseAngle(const Str& text);   // <text>
  static Str encloseRound(const Str& text);   // (text)
  static Str encloseSquare(const Str& text);  // [text]

  // For tests of the sharing rule: true when both strings use the same body.
  bool sharesBodyWith(const Str& other) const { return body_ == other.body_; }

 private:
  struct Body;
  explicit Str(Body* body) : body_(body) {}
  void makeUnique(int extra);  // unique body with room for length + extra + 1 bytes
  void release();
  static Body* emptyBody();
  static Body* newBody(const char* text, int length);

  Body* body_;
};

Str operator+(const Str& a, const Str& b);
Str operator+(const char* a, const Str& b);
Str operator+(const Str& a, const char* b);
Str operator+(const Str& a, char c);
inline bool operator==(const Str& a, const Str& b) { return a.equals(b); }
inline bool operator==(const Str& a, const char* b) { return a.equals(b); }

}  // namespace quillet
