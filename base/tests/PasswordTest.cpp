// Tests of the stored password form: the short and unknown forms, the plain "10" form,
// the digit rules of the "22" form and round trips with every key.
#include <gtest/gtest.h>

#include <string>

#include "base/Password.h"

namespace quillet {
namespace {

TEST(PasswordTest, ShortOrUnknownFormsGiveEmptyPassword) {
  for (const char* stored :
       {"", "2", "22", "10", "1", "223", "ab", "11secret", "21AB", "x22AB", " 22AB"}) {
    EXPECT_TRUE(descramble(Str(stored), kSOCKSPasswordKey).empty()) << stored;
  }
}

TEST(PasswordTest, PlainFormDropsPrefixAndTrailingWhiteSpace) {
  EXPECT_EQ(descramble("10secret  \t ", kSOCKSPasswordKey).toStd(), "secret");
  EXPECT_EQ(descramble("10  inner space ", kSOCKSPasswordKey).toStd(), "  inner space");
  EXPECT_EQ(descramble("10x", kSOCKSPasswordKey).toStd(), "x");
  EXPECT_TRUE(descramble("10   ", kSOCKSPasswordKey).empty());
}

TEST(PasswordTest, ScrambledFormXorsEachPairWithTheKey) {
  // 'a' ^ 'K' = 0x2A, 'b' ^ 'z' = 0x18, 'c' ^ 'v' = 0x15.
  EXPECT_EQ(scramble("abc", kDialUpOutboundPasswordKey).toStd(), "222A1815");
  EXPECT_EQ(descramble("222A1815", kDialUpOutboundPasswordKey).toStd(), "abc");
  // Lower-case digits are accepted as well.
  EXPECT_EQ(descramble("222a1815", kDialUpOutboundPasswordKey).toStd(), "abc");
}

TEST(PasswordTest, TrailingSingleDigitIsIgnored) {
  EXPECT_EQ(descramble("222A18151", kDialUpOutboundPasswordKey).toStd(), "abc");
  EXPECT_EQ(descramble("222A1", kDialUpOutboundPasswordKey).toStd(), "a");
}

TEST(PasswordTest, NonHexDigitCountsAs127) {
  // "G0": 127 * 16 + 0 = 2032 = 0x7F0, low byte 0xF0, XOR 'K' (0x4B) = 0xBB.
  Str plain = descramble("22G0", kDialUpOutboundPasswordKey);
  ASSERT_EQ(plain.length(), 1);
  EXPECT_EQ(static_cast<unsigned char>(plain.at(0)), 0xBB);
  // "ZZ": 127 * 16 + 127 = 2159 = 0x86F, low byte 0x6F, XOR 'K' = 0x24 '$'.
  EXPECT_EQ(descramble("22ZZ", kDialUpOutboundPasswordKey).toStd(), "$");
}

TEST(PasswordTest, KeyRepeatsEveryTenCharactersEvenForTheLongMailboxKey) {
  // Position 10 uses key character 0 again: the same plain byte at positions 0 and 10
  // scrambles to the same pair. With the 13-character mailbox key too.
  for (const char* key : {kDialUpOutboundPasswordKey, kPOP3MailboxPasswordKey}) {
    Str stored = scramble("AbcdefghijAbc", key);
    EXPECT_EQ(stored.toStd().substr(2, 2), stored.toStd().substr(22, 2)) << key;
    EXPECT_EQ(stored.toStd().substr(4, 2), stored.toStd().substr(24, 2)) << key;
  }
  // The mailbox key's characters 10 to 12 ("rbu") play no part: a key cut to 10
  // characters gives the same result.
  EXPECT_TRUE(scramble("a long mailbox password", kPOP3MailboxPasswordKey)
                  .equals(scramble("a long mailbox password", "Kwemtal Zo")));
}

TEST(PasswordTest, RoundTripsForEveryLengthAndKey) {
  for (const char* key : {kDialUpOutboundPasswordKey, kSOCKSPasswordKey,
                          kOutboundExchAuthPasswordKey, kPOP3MailboxPasswordKey}) {
    std::string plain;
    for (int length = 1; length <= 64; ++length) {
      plain += static_cast<char>('!' + (length * 7) % 90);
      Str stored = scramble(Str(plain), key);
      ASSERT_EQ(stored.length(), 2 + 2 * length);
      EXPECT_TRUE(stored.startsWith("22", false));
      EXPECT_EQ(descramble(stored, key).toStd(), plain) << key << " length " << length;
    }
  }
}

TEST(PasswordTest, BytesAbove127ScrambleToTwoUpperCaseDigits) {
  // CP850 'é' is 0x82; as a signed char it must not turn into FFFFFF.. digits.
  Str plain("\x82\xFF\x80", 3);
  Str stored = scramble(plain, kSOCKSPasswordKey);
  ASSERT_EQ(stored.length(), 8);
  for (int i = 2; i < stored.length(); ++i) {
    char c = stored.at(i);
    EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << stored.toStd();
  }
  EXPECT_TRUE(descramble(stored, kSOCKSPasswordKey).equals(plain));
}

TEST(PasswordTest, ByteEqualToTheKeyCharacterScramblesToZeroPair) {
  EXPECT_EQ(scramble("KARN", kOutboundExchAuthPasswordKey).toStd(), "2200000000");
  Str plain = descramble("2200", kOutboundExchAuthPasswordKey);
  EXPECT_EQ(plain.toStd(), "K");
}

TEST(PasswordTest, KeyShorterThanTenLeavesLaterPositionsUnchanged) {
  // Positions past the end of the key are XORed with nothing; the round trip still holds.
  EXPECT_EQ(scramble("AAA", "\x01").toStd(), "22404141");
  EXPECT_EQ(descramble("22404141", "\x01").toStd(), "AAA");
  EXPECT_EQ(descramble(scramble("password", ""), "").toStd(), "password");
}

}  // namespace
}  // namespace quillet
