// The loop rules of the delivery status notifications (see NotificationRecipients.h).
#include "smtp/NotificationRecipients.h"

#include "decode/AddressParser.h"
#include "decode/HeaderBlock.h"

namespace quillet {

Str notificationSender(const Str& localHostName) {
  Str host = localHostName;
  host.trim();
  return Str("postmaster@") + (host.isBlank() ? Str("localhost") : host);
}

bool mayReceiveNotification(std::string_view address, const Str& ownSender) {
  const std::string_view trimmed = trimBlanks(address);
  if (trimmed.empty()) return false;
  if (startsWithNoCase(trimmed, kPlaceholderAddress)) return false;
  // "Contains" covers "starts with" as well.
  if (findNoCase(trimmed, "POSTMASTER@") != std::string_view::npos) return false;
  if (equalsNoCase(trimmed, ownSender.view())) return false;
  return isValidAddress(trimmed);
}

}  // namespace quillet
