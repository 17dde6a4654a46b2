// Why a message, or some of its recipients, was given up: what the delivery threads report
// and the failure notification (DeliveryNotifications.h) explains to the sender.
#pragma once

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

struct DeliveryFailure {
  int error = 0;             // the failure's code (50 when the mail host refused for good)
  Str statusCode;            // enhanced status code of the refusal ("5.1.1"); may be empty
  Str reply;                 // the refusing reply line
  ArrayStr transcript;       // the session transcript of the failure
  ArrayStr recipientStatus;  // one status code per recipient of the failed copy; may be short
  bool expired = false;      // true: given up because its lifetime ended
};

}  // namespace quillet
