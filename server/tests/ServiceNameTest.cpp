// Tests of the service name file and of the unit name and text made from the name.
#include <gtest/gtest.h>

#include <string>

#include "server/ServiceName.h"
#include "server/ServiceUnit.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet {
namespace {

using quillet::testing::TempDir;
using quillet::testing::writeBytes;

TEST(ServiceName, KeepsOnlyPrintableBytesUpToLowerCaseY) {
  const struct {
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"MyService", "MyService"},
      {"  My Service \r\n", "MyService"},      // blanks and line ends dropped
      {"Quiz\tlazy", "Quilay"},                // 'z' (0x7A) and TAB dropped
      {"a{b}c~d", "abcd"},                     // bytes above 0x79 dropped
      {std::string("x\0y\xff\x80", 5), "xy"},  // NUL and 8-bit bytes dropped
      {"", "Quillet"},                         // empty file
      {"   \r\n\t ", "Quillet"},               // only blanks
      {"zzz", "Quillet"},                      // nothing left
      {"../etc/x", "../etc/x"},                // kept here; the unit name escapes it
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cleanServiceName(c.bytes).toStd(), c.expected) << "bytes: " << c.bytes;
  }
}

TEST(ServiceName, FilePathUsesTheProgramBaseName) {
  EXPECT_EQ(serviceNameFilePath("/opt/q/", "/usr/local/bin/runnel").toStd(), "/opt/q/runnel.svc");
  EXPECT_EQ(serviceNameFilePath("/opt/q/", "/x/runnel.bin").toStd(), "/opt/q/runnel.svc");
  EXPECT_EQ(serviceNameFilePath("", "runnel").toStd(), "runnel.svc");
}

TEST(ServiceName, ReadsAFileOfAtMost256Bytes) {
  TempDir dir("service-name");
  EXPECT_EQ(readServiceName(dir.str("missing.svc")).toStd(), "Quillet");

  writeBytes(dir.file("a.svc"), "Office Mail\n");
  EXPECT_EQ(readServiceName(dir.str("a.svc")).toStd(), "OfficeMail");

  writeBytes(dir.file("full.svc"), std::string(256, 'A'));
  EXPECT_EQ(readServiceName(dir.str("full.svc")).toStd(), std::string(256, 'A'));

  writeBytes(dir.file("long.svc"), std::string(257, 'A'));
  EXPECT_EQ(readServiceName(dir.str("long.svc")).toStd(), "Quillet");

  writeBytes(dir.file("empty.svc"), "");
  EXPECT_EQ(readServiceName(dir.str("empty.svc")).toStd(), "Quillet");
}

TEST(ServiceUnit, NameEscapesEverythingAUnitFileNameCannotHold) {
  EXPECT_EQ(unitNameFor("Quillet").value(), "Quillet.service");
  EXPECT_EQ(unitNameFor("mail-2.office_a:b").value(), "mail-2.office_a:b.service");
  // No path can be formed from the name, and '@' cannot make it a template.
  EXPECT_EQ(unitNameFor("../x").value(), "..\\x2fx.service");
  EXPECT_EQ(unitNameFor("a@b\\c").value(), "a\\x40b\\x5cc.service");
}

TEST(ServiceUnit, NameTooLongForSystemdIsRefused) {
  EXPECT_TRUE(unitNameFor(Str(std::string(247, 'a'))).has_value());  // 255 with ".service"
  EXPECT_FALSE(unitNameFor(Str(std::string(248, 'a'))).has_value());
  EXPECT_FALSE(unitNameFor(Str(std::string(100, '/'))).has_value());  // escaping quadruples
}

TEST(ServiceUnit, TextStartsTheProgramInItsDirectory) {
  const auto text = unitFileText("Quillet", "/opt/quillet/runnel", "/opt/quillet/");
  ASSERT_TRUE(text.has_value());
  EXPECT_NE(text->find("\n[Service]\nType=notify\n"), std::string::npos);
  EXPECT_NE(text->find("\nExecStart=\"/opt/quillet/runnel\"\n"), std::string::npos);
  EXPECT_NE(text->find("\nWorkingDirectory=/opt/quillet/\n"), std::string::npos);
  EXPECT_NE(text->find("\nEnvironment=\"QUILLET_HOME=/opt/quillet/\"\n"), std::string::npos);
  EXPECT_NE(text->find("\n[Install]\nWantedBy=multi-user.target\n"), std::string::npos);
}

TEST(ServiceUnit, TextQuotesPathsAndRefusesLineBreaks) {
  const auto text = unitFileText("50%", "/a b/\"q\"%\\run", "/a b/");
  ASSERT_TRUE(text.has_value());
  EXPECT_NE(text->find("Description=50%% "), std::string::npos);
  EXPECT_NE(text->find("ExecStart=\"/a b/\\\"q\\\"%%\\\\run\"\n"), std::string::npos);
  EXPECT_FALSE(unitFileText("Q", "/a\nExecStartPre=/bin/evil", "/a/").has_value());
  EXPECT_FALSE(unitFileText("Q", "/a/runnel", "/a\r/").has_value());
  EXPECT_FALSE(unitFileText("Q", "", "/a/").has_value());
}

}  // namespace
}  // namespace quillet
