// Behaviour of Str that other code relies on: body sharing only on the owner thread,
// copy on write, 32-byte growth, the comparison rules, trimming, numbers, code pages.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "base/Buff.h"
#include "base/Str.h"

using namespace quillet;

TEST(StrSharing, CopyOnOwnerThreadSharesBodyUntilChanged) {
  Str first("mailbox");
  Str copy(first);
  EXPECT_TRUE(copy.sharesBodyWith(first));
  copy.append("es");
  EXPECT_FALSE(copy.sharesBodyWith(first));
  EXPECT_EQ(first, "mailbox");
  EXPECT_EQ(copy, "mailboxes");
}

TEST(StrSharing, CopyOnAnotherThreadGetsItsOwnBodyAtOnce) {
  Str first("queued message");
  Str copied;
  bool shared = true;
  std::thread other([&] {
    Str local(first);  // NOLINT(performance-unnecessary-copy-initialization): the copy is the test
    shared = local.sharesBodyWith(first);
    copied = local;  // still on the other thread: shares with local only
  });
  other.join();
  EXPECT_FALSE(shared);
  EXPECT_EQ(copied, "queued message");
  // The original is untouched by what the other thread's copies did.
  first.toUpper();
  EXPECT_EQ(copied, "queued message");
}

TEST(StrSharing, StringMovedToAnotherThreadCanDieThere) {
  Str first("moved");
  Str second(first);  // shared body, count 1
  std::thread other([moved = std::move(second)]() mutable { moved.append("!"); });
  other.join();
  EXPECT_EQ(first, "moved");
}

TEST(StrGrowth, CapacityGrowsInStepsOf32) {
  Str s;
  EXPECT_EQ(s.capacity(), 0);
  std::vector<int> seen;
  for (int i = 0; i < 100; ++i) {
    s.append('x');
    if (seen.empty() || seen.back() != s.capacity()) seen.push_back(s.capacity());
  }
  EXPECT_EQ(seen, (std::vector<int>{32, 64, 96, 128}));
  EXPECT_EQ(s.length(), 100);
}

TEST(StrGrowth, AppendingItselfDoesNotReadFreedMemory) {
  Str s("abcdefghijklmnopqrstuvwxyz012345");  // exactly fills... then grows
  s.append(s);
  EXPECT_EQ(s, "abcdefghijklmnopqrstuvwxyz012345abcdefghijklmnopqrstuvwxyz012345");
  Str t("xyz");
  t.append(t.c_str() + 1, 2);
  EXPECT_EQ(t, "xyzyz");
}

TEST(StrParts, LeftMidAndSetLength) {
  Str s("Received");
  EXPECT_EQ(s.left(0), "");
  EXPECT_EQ(s.left(4), "Rece");
  EXPECT_EQ(s.left(40), "Received");
  EXPECT_EQ(s.mid(4), "ived");
  EXPECT_EQ(s.mid(8), "");
  EXPECT_EQ(Str(s).keepMid(20, 3), "");
  EXPECT_EQ(Str(s).keepMid(2, 100), "ceived");
  EXPECT_EQ(Str(s).keepMid(2, 3), "cei");
  EXPECT_EQ(Str("ab").setLength(5), "ab   ");
  EXPECT_EQ(Str("abcdef").setLength(2), "ab");
}

TEST(StrTrim, SpacesQuotesAndWhiteSpace) {
  EXPECT_EQ(Str("    ").trim(), "");
  EXPECT_EQ(Str("  a b  ").trim(), "a b");
  EXPECT_EQ(Str("  a  ").trimLeft(), "a  ");
  EXPECT_EQ(Str("  a  ").trimRight(), "  a");
  EXPECT_EQ(Str("\t a \t").trimRight(), "\t a \t");  // spaces only
  EXPECT_EQ(Str("\t a \r\n").trimWhite(), "a");
  EXPECT_EQ(Str("xxaxx").trimLeft('x'), "axx");
  EXPECT_EQ(Str("xxaxx").trimRight('x'), "xxa");
  EXPECT_EQ(Str(" \" 'proxy.example' \" ").stripQuotes(), "proxy.example");
  EXPECT_EQ(Str("<user@host>").stripQuotes(), "<user@host>");
  EXPECT_EQ(Str("<user@host>").stripQuotes(true), "user@host");
  EXPECT_EQ(Str("( \"x\" )").stripQuotes(true), "x");
  EXPECT_EQ(Str("\"unbalanced").stripQuotes(), "\"unbalanced");
}

TEST(StrCompare, TrailingSpacesCountOnlyWithExactLength) {
  Str word("word");
  Str padded("word  ");
  EXPECT_FALSE(word.equals(padded));
  EXPECT_TRUE(word.sameText(padded, false));
  EXPECT_TRUE(padded.sameText(word, false));
  EXPECT_TRUE(Str("").sameText(Str("   "), false));
  EXPECT_FALSE(Str("word x").sameText(word, false));
  EXPECT_TRUE(Str("WORD ").sameText(word, true));
  EXPECT_FALSE(Str("WORD").equals(word));
  EXPECT_TRUE(Str("WORD").equalsIgnoreCase(word));
  EXPECT_FALSE(Str("WORDS").equalsIgnoreCase(word));
  EXPECT_TRUE(Str("Content-Type: text").startsWith("content-type:"));
  EXPECT_FALSE(Str("Content-Type: text").startsWith("content-type:", false));
  EXPECT_FALSE(Str("Con").startsWith("Content"));
  EXPECT_TRUE(Str("   ").isBlank());
  EXPECT_TRUE(Str().isBlank());
  EXPECT_FALSE(Str(" \t").isBlank());
}

TEST(StrSearchReplace, PositionsCountsAndReplacements) {
  Str s("a.b.c.d");
  EXPECT_EQ(s.find('.'), 1);
  EXPECT_EQ(s.find('.', 2), 3);
  EXPECT_EQ(s.find('x'), -1);
  EXPECT_EQ(s.find("c.d"), 4);
  EXPECT_EQ(s.find("zz"), -1);
  EXPECT_EQ(s.count('.'), 3);
  EXPECT_EQ(Str(s).replace('.', '_'), "a_b_c_d");
  EXPECT_EQ(Str(s).replace('.', '_', 2), "a_b_c.d");
  EXPECT_EQ(Str(s).replace(".", "::"), "a::b::c::d");
  EXPECT_EQ(Str(s).replace(".", "", 1), "ab.c.d");
  EXPECT_EQ(Str("aaa").replace("a", "aa"), "aaaaaa");
  EXPECT_EQ(Str(s).remove('.'), "abcd");
}

TEST(StrNumbers, ConvertsLikeAtol) {
  EXPECT_EQ(Str("15min").toLong(), 15);
  EXPECT_EQ(Str("abc").toLong(), 0);
  EXPECT_EQ(Str("-5").toLong(), -5);
  EXPECT_EQ(Str(" \t+42 7").toLong(), 42);
  EXPECT_EQ(Str("").toLong(), 0);
  EXPECT_EQ(Str("99999999999999999999").toLong(), INT32_MAX);
  EXPECT_EQ(Str("-99999999999999999999").toLong(), INT32_MIN);
  EXPECT_EQ(Str::fromInt(-17), "-17");
  EXPECT_EQ(Str::fromUInt(4294967295u), "4294967295");
}

TEST(StrCodePage, ConvertsBetweenCp850AndUtf8) {
  Str plain("plain ascii");
  EXPECT_TRUE(plain.oemToAnsiCopy().sharesBodyWith(plain));
  Str oem("M\x81ller \x84");  // "Müller ä" in code page 850
  Str ansi = oem.oemToAnsiCopy();
  EXPECT_EQ(ansi, "M\xC3\xBCller \xC3\xA4");
  EXPECT_EQ(ansi.ansiToOemCopy(), oem);
  EXPECT_EQ(Str("\xE2\x82\xAC").ansiToOemCopy(),
            "?");                                 // the euro sign is not in CP850... kept as '?'
  EXPECT_EQ(Str("a\xC3").ansiToOemCopy(), "a?");  // a cut UTF-8 sequence
}

TEST(StrTests, SevenBitAtomAndCrLf) {
  EXPECT_TRUE(Str("abc").is7Bit());
  EXPECT_FALSE(Str("ab\x81").is7Bit());
  EXPECT_TRUE(Str("john.doe+tag|x 1").isAtom());
  EXPECT_FALSE(Str("john.doe").isAtom(false));
  EXPECT_FALSE(Str("a@b").isAtom());
  EXPECT_FALSE(Str("a\"b").isAtom());
  Buff withCrLf(16);
  std::memcpy(withCrLf.data(), "line\r\n", 6);
  EXPECT_TRUE(Str::endsWithCrLf(withCrLf));
  Buff without(16);
  std::memcpy(without.data(), "line\n", 5);
  EXPECT_FALSE(Str::endsWithCrLf(without));
}

TEST(StrDots, StuffingAndUnstuffing) {
  EXPECT_EQ(Str(".").dotStuff(), "..");
  EXPECT_EQ(Str(".hidden").dotStuff(), "..hidden");
  EXPECT_EQ(Str("a.").dotStuff(), "a.");
  EXPECT_EQ(Str("..x").dotUnstuff(), ".x");
  EXPECT_EQ(Str(".x").dotUnstuff(), ".x");
  EXPECT_EQ(Str::encloseAngle(Str("a@b")), "<a@b>");
  EXPECT_EQ(Str::encloseRound(Str("c")), "(c)");
  EXPECT_EQ(Str::encloseSquare(Str("127.0.0.1")), "[127.0.0.1]");
}

TEST(StrConstruct, FromBuffersViewsAndRepeats) {
  Buff buffer(8);
  std::memcpy(buffer.data(), "ab\0cd", 5);
  EXPECT_EQ(Str(buffer), "ab");
  Buff full(3);
  std::memcpy(full.data(), "xyz", 3);  // no 0 byte inside: stops at the end
  EXPECT_EQ(Str(full), "xyz");
  EXPECT_EQ(Str(FastStr()), "");
  EXPECT_EQ(Str(FastStr("hello", 4)), "hell");
  EXPECT_EQ(Str('-', 3), "---");
  Str withZero("a\0b", 3);
  EXPECT_EQ(withZero.length(), 3);
  EXPECT_EQ(withZero.at(2), 'b');
  EXPECT_EQ(Str("a") + Str("b") + 'c', "abc");
  EXPECT_EQ("x" + Str("y"), "xy");
}
