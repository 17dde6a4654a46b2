// Who may receive a delivery status notification: the rules that keep notifications from
// going round in loops (a report about a report) and from going to addresses that cannot
// be delivered to.
//
// Pure text tests: the addresses come from queue entries and message headers and are
// untrusted; nothing here touches a file or the network.
#pragma once

#include <string_view>

#include "base/Str.h"

namespace quillet {

// The system's placeholder for a sender that could not be worked out: the local part and
// the domain say that neither was valid (".invalid" is reserved by RFC 2606, so it can
// never be a real address).
inline constexpr const char* kPlaceholderAddress = "unknown-user@invalid-domain.invalid";

// The notifications' own sender: "postmaster@" followed by the local host name.
[[nodiscard]] Str notificationSender(const Str& localHostName);

// True when a notification may go to address: it is not blank, does not start with the
// placeholder address, does not start with or contain "POSTMASTER@", is not ownSender and
// is a syntactically valid address (case is ignored in every comparison).
[[nodiscard]] bool mayReceiveNotification(std::string_view address, const Str& ownSender);

}  // namespace quillet
