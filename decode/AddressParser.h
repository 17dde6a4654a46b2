// Address lists of header fields (To, Cc, From, the envelope-type fields, custom fields,
// Received "for" clauses) and the local-part rewriting of envelope-type addresses.
//
// An element's address is what stands in angle brackets, or else the text outside quotes
// and comments; quoted text, comments and text before "<" form the display name (RFC 2047
// decoded). Blanks and TABs are removed from the address, then it must have a non-empty
// local part and domain around its first "@" made only of allowed characters, otherwise it
// is dropped. The character checks reject every control character, blank and 8-bit byte,
// so CR, LF and NUL can never reach an address. Group syntax ("name: a@b, c@d;") yields
// the group's members.
// Input is one unfolded header value, already bounded in length by HeaderBlock.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

struct ParsedAddress {
  std::string address;
  std::string displayName;
};

// The valid addresses of an address-list field value, in order.
[[nodiscard]] std::vector<ParsedAddress> parseAddressList(std::string_view value);

// The character checks and structure test above, for an address without blanks.
[[nodiscard]] bool isValidAddress(std::string_view address);

// Providers that deliver a whole domain into one mailbox put the real recipient into the
// local part of envelope-type fields. With L the local part and D the domain:
//  1. L holds "%", is longer than D and begins (case ignored) with D + "%" or D with dots
//     written as underscores + "%": the rest R gives R@D;
//  2. otherwise the same with "-" as the separator;
//  3. otherwise, when L holds "+" and "-" and begins with D + "+-": the rest gives R@D;
//  4. otherwise the address is kept.
// Returns nothing when the address is to be dropped: R is "pop" (the provider's own
// mailbox, case ignored) or empty.
[[nodiscard]] std::optional<std::string> rewriteEnvelopeAddress(std::string_view address);

}  // namespace quillet
