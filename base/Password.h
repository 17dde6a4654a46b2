// The stored form of passwords in the settings file and the mailbox table, and the keys
// of the four kinds of password.
//
// Stored forms: "22" followed by upper-case hexadecimal pairs, pair i being password byte
// i XOR key byte (i mod 10); "10" followed by the password in plain text; anything else
// (or 2 characters or fewer) stands for an empty password.
//
// This is obfuscation against a glance over the shoulder, not encryption: anyone with the
// file and these keys reads the password. Protection comes from the file modes (0600).
// A descrambled password may hold any byte, CR, LF and NUL included; code that sends it
// in a protocol line has to refuse such bytes itself.
#pragma once

#include "base/Str.h"

namespace quillet {

// Keys, named after the password they protect. Only the first 10 characters of a key take
// part (the mailbox key is longer, its last three characters are unused).
inline constexpr const char kDialUpOutboundPasswordKey[] = "Kzv7Qw2Lmp";
inline constexpr const char kSOCKSPasswordKey[] = "Rw4Tn8Hq2Z";
inline constexpr const char kOutboundExchAuthPasswordKey[] = "KARN=VOLPE";
inline constexpr const char kPOP3MailboxPasswordKey[] = "Kwemtal Zorbu";

// How many characters of a key are used before it repeats.
inline constexpr int kPasswordKeyPeriod = 10;

// The plain password of a stored one. "22...": hexadecimal pairs XORed with the key; a
// character that is not a hexadecimal digit counts as 127 and a trailing single digit is
// ignored. "10...": the text after the prefix without trailing white space. Anything else,
// or a stored text of 2 characters or fewer: empty.
// A key shorter than 10 characters leaves the positions beyond its end unchanged.
[[nodiscard]] Str descramble(const Str& stored, const Str& key);

// The "22" form of a plain password: two upper-case hexadecimal digits per byte.
[[nodiscard]] Str scramble(const Str& plain, const Str& key);

}  // namespace quillet
