// The machine-readable part of a failure notification: the fields of a
// "message/delivery-status" body part (RFC 3464), so mail programs and list managers can
// act on a report without reading its text.
//
// One per-message block (Reporting-MTA, Arrival-Date), then one block per failed
// recipient (Final-Recipient, Action: failed, Status, Diagnostic-Code with the server's
// reply when there is one). Pure: values in, lines out. The reply and the addresses are
// untrusted: they are made safe for one field and folded like any header field, so no
// value breaks a field or adds one.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/DateTime.h"
#include "base/Str.h"

namespace quillet {

struct FailedRecipientStatus {
  Str address;
  Str statusCode;  // "x.y.z"; a code of class 4 is reported as class 5 (the action is failed)
  Str diagnostic;  // the server's reply; empty = no Diagnostic-Code field
};

struct DeliveryStatusReport {
  Str reportingHost;  // this host, "dns; " + name
  Timer arrival;      // when the message was queued (local time)
  ArrayTmpl<FailedRecipientStatus> recipients;
};

// The part's lines (its header lines and the blank lines between the blocks).
[[nodiscard]] ArrayStr deliveryStatusFields(const DeliveryStatusReport& report);

}  // namespace quillet
