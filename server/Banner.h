// The program title and the banner lines Runnel prints at start-up and in its header.
#pragma once

#include <string>

namespace quillet {

inline constexpr const char* kProgramTitle = "Quillet v3.19";
inline constexpr const char* kNoticeLine1 =
    "Mail collector: POP3 mailboxes to your own SMTP server";
inline constexpr const char* kNoticeLine2 = "Copyright (c) 2026 the Quillet developers";

// The banner: an empty line, the title with the system name (and " Service" in service
// mode) in brackets, the two notice lines and an empty line, each ending in '\n'.
std::string bannerText(bool serviceMode);

// The banner of the "install" and "remove" commands and of a start as a service (before
// the run prints its own): the same lines with the bare title.
std::string titleBannerText();

}  // namespace quillet
