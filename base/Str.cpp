// Str implementation (see Str.h). The body's reference count is atomic even though a body
// is only shared on its owner thread: a Str can still be moved to another thread and die
// there, and an atomic count keeps that safe at no real cost.
#include "base/Str.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/Buff.h"
#include "base/CodePage.h"
#include "base/Memory.h"

namespace quillet {

struct Str::Body {
  int32_t length;
  char* text;
  int32_t capacity;
  std::atomic<int32_t> extraRefs;
  uint32_t ownerThread;
};

namespace {

char emptyText[1] = {0};

uint32_t currentThreadId() {
  static std::atomic<uint32_t> next{1};
  thread_local uint32_t id = next.fetch_add(1, std::memory_order_relaxed);
  return id;
}

// The smallest multiple of 32 that holds needed bytes.
int32_t roundUp32(int64_t needed) {
  if (needed > INT32_MAX - 32) reportOutOfMemory(static_cast<size_t>(needed));
  return static_cast<int32_t>((needed + 31) / 32 * 32);
}

char* allocateText(int32_t capacity) {
  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(capacity)));
  if (text == nullptr) reportOutOfMemory(static_cast<size_t>(capacity));
  return text;
}

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

Str::Body* Str::emptyBody() {
  static Body body{0, emptyText, 0, {0}, 0};
  return &body;
}

Str::Body* Str::newBody(const char* text, int length) {
  if (length <= 0) return emptyBody();
  int32_t capacity = roundUp32(static_cast<int64_t>(length) + 1);
  Body* body = new Body{length, allocateText(capacity), capacity, {0}, currentThreadId()};
  std::memcpy(body->text, text, static_cast<size_t>(length));
  body->text[length] = 0;
  return body;
}

void Str::release() {
  Body* body = body_;
  body_ = emptyBody();
  if (body == emptyBody()) return;
  if (body->extraRefs.fetch_sub(1, std::memory_order_acq_rel) == 0) {
    std::free(body->text);
    delete body;
  }
}

void Str::makeUnique(int extra) {
  Body* body = body_;
  int64_t needed = static_cast<int64_t>(body->length) + (extra > 0 ? extra : 0) + 1;
  if (body == emptyBody() || body->extraRefs.load(std::memory_order_acquire) > 0) {
    int32_t capacity = roundUp32(needed);
    Body* fresh = new Body{body->length, allocateText(capacity), capacity, {0}, currentThreadId()};
    std::memcpy(fresh->text, body->text, static_cast<size_t>(body->length));
    fresh->text[body->length] = 0;
    release();
    body_ = fresh;
    return;
  }
  if (needed > body->capacity) {
    int32_t capacity = body->capacity + roundUp32(needed - body->capacity);
    char* text = static_cast<char*>(std::realloc(body->text, static_cast<size_t>(capacity)));
    if (text == nullptr) reportOutOfMemory(static_cast<size_t>(capacity));
    body->text = text;
    body->capacity = capacity;
  }
}

// --- construct, assign ---

Str::Str() : body_(emptyBody()) {}
Str::Str(const char* text) : body_(newBody(text, text ? static_cast<int>(std::strlen(text)) : 0)) {}
Str::Str(const char* text, int length) : body_(newBody(text, text ? length : 0)) {}
Str::Str(std::string_view text) : body_(newBody(text.data(), static_cast<int>(text.size()))) {}
Str::Str(char c, int count) : body_(emptyBody()) { append(c, count); }
Str::Str(const Buff& buffer)
    : body_(newBody(buffer.data(),
                    buffer.data() ? static_cast<int>(strnlen(buffer.data(), buffer.size())) : 0)) {}
Str::Str(const FastStr& text) : body_(newBody(text.text(), text.length())) {}

Str::Str(const Str& other) : body_(other.body_) {
  if (body_ == emptyBody()) return;
  if (body_->ownerThread == currentThreadId()) {
    body_->extraRefs.fetch_add(1, std::memory_order_relaxed);
  } else {
    body_ = newBody(other.body_->text, other.body_->length);
  }
}

Str::Str(Str&& other) noexcept : body_(other.body_) { other.body_ = emptyBody(); }

Str::~Str() { release(); }

Str& Str::operator=(const Str& other) {
  if (this != &other) {
    Str copy(other);
    std::swap(body_, copy.body_);
  }
  return *this;
}

Str& Str::operator=(Str&& other) noexcept {
  if (this != &other) {
    release();
    body_ = other.body_;
    other.body_ = emptyBody();
  }
  return *this;
}

Str& Str::operator=(const char* text) {
  Str copy(text);
  std::swap(body_, copy.body_);
  return *this;
}

Str Str::fromInt(long long value) { return Str(std::to_string(value)); }
Str Str::fromUInt(unsigned long long value) { return Str(std::to_string(value)); }

// --- access ---

const char* Str::c_str() const { return body_->text; }
int Str::length() const { return body_->length; }
int Str::capacity() const { return body_->capacity; }
char Str::at(int pos) const { return pos >= 0 && pos < body_->length ? body_->text[pos] : 0; }

char* Str::data() {
  makeUnique(0);
  return body_->text;
}

// --- append ---

Str& Str::append(const char* text) {
  return text ? append(text, static_cast<int>(std::strlen(text))) : *this;
}

Str& Str::append(const char* text, int length) {
  if (text == nullptr || length <= 0) return *this;
  // text may point into our own body, which makeUnique can move.
  if (text >= body_->text && text < body_->text + body_->length) {
    Str copy(text, length);
    return append(copy.c_str(), length);
  }
  makeUnique(length);
  std::memcpy(body_->text + body_->length, text, static_cast<size_t>(length));
  body_->length += length;
  body_->text[body_->length] = 0;
  return *this;
}

Str& Str::append(const Str& other) {
  if (&other == this || other.body_ == body_) {
    Str copy(other.c_str(), other.length());
    return append(copy.c_str(), copy.length());
  }
  return append(other.c_str(), other.length());
}

Str& Str::append(char c) { return append(c, 1); }

Str& Str::append(char c, int count) {
  if (count <= 0) return *this;
  makeUnique(count);
  std::memset(body_->text + body_->length, c, static_cast<size_t>(count));
  body_->length += count;
  body_->text[body_->length] = 0;
  return *this;
}

Str operator+(const Str& a, const Str& b) { return Str(a).append(b); }
Str operator+(const char* a, const Str& b) { return Str(a).append(b); }
Str operator+(const Str& a, const char* b) { return Str(a).append(b); }
Str operator+(const Str& a, char c) { return Str(a).append(c); }

// --- parts ---

Str Str::left(int n) const {
  if (n <= 0) return Str();
  if (n >= length()) return *this;
  return Str(c_str(), n);
}

Str Str::mid(int pos) const {
  if (pos < 0) pos = 0;
  if (pos >= length()) return Str();
  return Str(c_str() + pos, length() - pos);
}

Str& Str::keepMid(int pos, int count) {
  if (pos < 0) pos = 0;
  if (pos >= length() || count <= 0) {
    release();
    return *this;
  }
  if (count > length() - pos) count = length() - pos;
  makeUnique(0);
  std::memmove(body_->text, body_->text + pos, static_cast<size_t>(count));
  body_->length = count;
  body_->text[count] = 0;
  return *this;
}

Str& Str::setLength(int n) {
  if (n < 0) n = 0;
  if (n > length()) return append(' ', n - length());
  if (n == length()) return *this;
  if (n == 0) {
    release();
    return *this;
  }
  makeUnique(0);
  body_->length = n;
  body_->text[n] = 0;
  return *this;
}

// --- trim ---

Str& Str::trimLeft(char c) {
  int n = 0;
  while (n < length() && c_str()[n] == c) ++n;
  return n == 0 ? *this : keepMid(n, length() - n);
}

Str& Str::trimRight(char c) {
  int n = length();
  while (n > 0 && c_str()[n - 1] == c) --n;
  return setLength(n);
}

Str& Str::trimLeft() { return trimLeft(' '); }
Str& Str::trimRight() { return trimRight(' '); }
Str& Str::trim() { return trimRight(' ').trimLeft(' '); }

Str& Str::trimRightWhite() {
  int n = length();
  while (n > 0 && isSpace(c_str()[n - 1])) --n;
  return setLength(n);
}

Str& Str::trimWhite() {
  trimRightWhite();
  int n = 0;
  while (n < length() && isSpace(c_str()[n])) ++n;
  return n == 0 ? *this : keepMid(n, length() - n);
}

Str& Str::stripQuotes(bool brackets) {
  for (;;) {
    trim();
    if (length() < 2) return *this;
    char first = c_str()[0];
    char last = c_str()[length() - 1];
    bool pair = (first == '"' && last == '"') || (first == '\'' && last == '\'') ||
                (brackets && ((first == '(' && last == ')') || (first == '<' && last == '>')));
    if (!pair) return *this;
    keepMid(1, length() - 2);
  }
}

// --- case ---

Str& Str::toUpper() {
  if (empty()) return *this;
  char* p = data();
  for (int i = 0; i < length(); ++i)
    p[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
  return *this;
}

Str& Str::toLower() {
  if (empty()) return *this;
  char* p = data();
  for (int i = 0; i < length(); ++i)
    p[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
  return *this;
}

// --- search ---

int Str::find(char c, int from) const {
  if (from < 0) from = 0;
  for (int i = from; i < length(); ++i) {
    if (c_str()[i] == c) return i;
  }
  return -1;
}

int Str::find(const char* text, int from) const {
  if (text == nullptr || from < 0 || from > length()) return -1;
  size_t pos = view().find(std::string_view(text), static_cast<size_t>(from));
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

int Str::find(const Str& text, int from) const {
  if (from < 0 || from > length()) return -1;
  size_t pos = view().find(text.view(), static_cast<size_t>(from));
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

int Str::count(char c) const {
  int n = 0;
  for (int i = 0; i < length(); ++i) n += c_str()[i] == c;
  return n;
}

// --- replace ---

Str& Str::replace(char from, char to, int maxCount) {
  if (find(from) < 0) return *this;
  char* p = data();
  int done = 0;
  for (int i = 0; i < length() && (maxCount < 0 || done < maxCount); ++i) {
    if (p[i] == from) {
      p[i] = to;
      ++done;
    }
  }
  return *this;
}

Str& Str::replace(const char* from, const char* to, int maxCount) {
  if (from == nullptr || *from == 0) return *this;
  std::string_view needle(from);
  std::string_view replacement(to ? to : "");
  if (find(from) < 0) return *this;
  std::string result;
  size_t pos = 0;
  int done = 0;
  std::string_view text = view();
  while (maxCount < 0 || done < maxCount) {
    size_t hit = text.find(needle, pos);
    if (hit == std::string_view::npos) break;
    result.append(text.substr(pos, hit - pos));
    result.append(replacement);
    pos = hit + needle.size();
    ++done;
  }
  result.append(text.substr(pos));
  *this = Str(std::string_view(result));
  return *this;
}

Str& Str::remove(char c) {
  if (find(c) < 0) return *this;
  char* p = data();
  int out = 0;
  for (int i = 0; i < length(); ++i) {
    if (p[i] != c) p[out++] = p[i];
  }
  return setLength(out);
}

// --- compare ---

bool Str::compare(const char* text, int length, const char* other, int otherLength,
                  bool exactLength, bool ignoreCase, bool prefixOnly) {
  if (exactLength && length != otherLength) return false;
  if (prefixOnly && length < otherLength) return false;
  int common = length < otherLength ? length : otherLength;
  for (int i = 0; i < common; ++i) {
    unsigned char a = static_cast<unsigned char>(text[i]);
    unsigned char b = static_cast<unsigned char>(other[i]);
    if (ignoreCase) {
      a = static_cast<unsigned char>(std::tolower(a));
      b = static_cast<unsigned char>(std::tolower(b));
    }
    if (a != b) return false;
  }
  if (prefixOnly || exactLength) return true;
  const char* rest = length > otherLength ? text : other;
  int restLength = length > otherLength ? length : otherLength;
  for (int i = common; i < restLength; ++i) {
    if (rest[i] != ' ') return false;
  }
  return true;
}

bool Str::equals(const Str& other) const {
  return compare(c_str(), length(), other.c_str(), other.length(), true, false, false);
}
bool Str::equals(const char* other) const {
  return compare(c_str(), length(), other ? other : "",
                 other ? static_cast<int>(std::strlen(other)) : 0, true, false, false);
}
bool Str::equalsIgnoreCase(const Str& other) const {
  return compare(c_str(), length(), other.c_str(), other.length(), true, true, false);
}
bool Str::equalsIgnoreCase(const char* other) const {
  return compare(c_str(), length(), other ? other : "",
                 other ? static_cast<int>(std::strlen(other)) : 0, true, true, false);
}
bool Str::sameText(const Str& other, bool ignoreCase) const {
  return compare(c_str(), length(), other.c_str(), other.length(), false, ignoreCase, false);
}
bool Str::startsWith(const char* prefix, bool ignoreCase) const {
  if (prefix == nullptr) return true;
  return compare(c_str(), length(), prefix, static_cast<int>(std::strlen(prefix)), false,
                 ignoreCase, true);
}
bool Str::isBlank() const {
  for (int i = 0; i < length(); ++i) {
    if (c_str()[i] != ' ') return false;
  }
  return true;
}

// --- numbers ---

int32_t Str::toLong() const {
  const char* p = c_str();
  const char* end = p + length();
  while (p < end && isSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  int64_t value = 0;
  while (p < end && *p >= '0' && *p <= '9') {
    // Saturate instead of overflowing: a settings file may hold any digits.
    if (value <= INT32_MAX) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// --- code page ---

Str& Str::oemToAnsi() {
  if (!is7Bit()) *this = Str(std::string_view(quillet::oemToAnsi(view())));
  return *this;
}
Str& Str::ansiToOem() {
  if (!is7Bit()) *this = Str(std::string_view(quillet::ansiToOem(view())));
  return *this;
}
Str Str::oemToAnsiCopy() const { return Str(*this).oemToAnsi(); }
Str Str::ansiToOemCopy() const { return Str(*this).ansiToOem(); }

// --- tests ---

bool Str::is7Bit() const {
  for (int i = 0; i < length(); ++i) {
    if (static_cast<unsigned char>(c_str()[i]) >= 0x80) return false;
  }
  return true;
}

bool Str::isAtom(bool allowDot) const {
  static constexpr std::string_view kSpecials = "!#$%&'*+-./=?^_{}~`| ";
  for (int i = 0; i < length(); ++i) {
    char c = c_str()[i];
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) continue;
    if (c == '.' && !allowDot) return false;
    if (kSpecials.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool Str::endsWithCrLf(const Buff& buffer) {
  if (buffer.data() == nullptr) return false;
  size_t n = strnlen(buffer.data(), static_cast<size_t>(buffer.size()));
  return n >= 2 && buffer.data()[n - 2] == '\r' && buffer.data()[n - 1] == '\n';
}

// --- dot handling ---

Str& Str::dotStuff() {
  if (at(0) == '.') *this = Str(".") + *this;
  return *this;
}

Str& Str::dotUnstuff() {
  if (at(0) == '.' && at(1) == '.') keepMid(1, length() - 1);
  return *this;
}

// --- enclose ---

Str Str::encloseAngle(const Str& text) { return Str("<") + text + '>'; }
Str Str::encloseRound(const Str& text) { return Str("(") + text + ')'; }
Str Str::encloseSquare(const Str& text) { return Str("[") + text + ']'; }

}  // namespace quillet
