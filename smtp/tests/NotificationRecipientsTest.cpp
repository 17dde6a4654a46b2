// The loop rules: which addresses may receive a delivery status notification.
#include <gtest/gtest.h>

#include "smtp/NotificationRecipients.h"

namespace quillet::testing {
namespace {

TEST(NotificationRecipients, LoopAndSyntaxRulesRefuseEachCase) {
  const Str own = notificationSender("mail.office.test");
  EXPECT_EQ(own.toStd(), "postmaster@mail.office.test");
  struct Case {
    const char* address;
    bool allowed;
  };
  for (const Case& c : {
           Case{"anna@example.test", true},
           Case{"  anna@example.test ", true},
           Case{"", false},
           Case{"   ", false},
           Case{"unknown-user@invalid-domain.invalid", false},
           Case{"UNKNOWN-USER@Invalid-Domain.Invalid", false},
           Case{"unknown-user@invalid-domain.invalid.example", false},  // starts with it
           Case{"postmaster@example.test", false},
           Case{"PostMaster@example.test", false},
           Case{"list-postmaster@example.test", false},  // contains it
           Case{"postmasters@example.test", true},       // neither starts with nor contains it
           Case{"postmaster@mail.office.test", false},
           Case{"POSTMASTER@MAIL.OFFICE.TEST", false},
           Case{"anna", false},
           Case{"anna@", false},
           Case{"@example.test", false},
           Case{"an na@example.test", false},
           Case{"anna@exa\r\nmple.test", false},
           Case{"<anna@example.test>", false},
           Case{"anna\xc3\xa4@example.test", false},
       }) {
    EXPECT_EQ(mayReceiveNotification(c.address, own), c.allowed) << c.address;
  }
}

TEST(NotificationRecipients, OwnSenderComparesWithItsHostName) {
  EXPECT_EQ(notificationSender("").toStd(), "postmaster@localhost");
  EXPECT_EQ(notificationSender(" gate ").toStd(), "postmaster@gate");
}

}  // namespace
}  // namespace quillet::testing
