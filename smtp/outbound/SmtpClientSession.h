// SmtpClientSession: the delivery threads' SMTP session carried out by WSSMTPClient, the
// SMTP client of this system, with the STARTTLS behaviour and trust store of the settings.
#pragma once

#include "smtp/outbound/OutboundSession.h"
#include "smtp/outbound/SMTPOutContext.h"

namespace quillet {

// The STARTTLS mode of the OutboundSTARTTLS setting: 0 never, 2 required, anything else
// when offered (the default, 1).
[[nodiscard]] StartTlsMode startTlsModeOf(int32_t setting);

// A factory of sessions over WSSMTPClient set up from settings (STARTTLS mode and trust
// file); each session's transfer trace names its thread.
[[nodiscard]] OutboundSessionFactory smtpClientSessions(const SMTPOutSettings& settings);

}  // namespace quillet
