// Builds the start-up banner (see Banner.h).
#include "server/Banner.h"

namespace quillet {

std::string bannerText(bool serviceMode) {
  std::string text = "\n";
  text += kProgramTitle;
  text += " (Linux";
  if (serviceMode) text += " Service";
  text += ")\n";
  text += kNoticeLine1;
  text += "\n";
  text += kNoticeLine2;
  text += "\n\n";
  return text;
}

std::string titleBannerText() {
  return std::string("\n") + kProgramTitle + "\n" + kNoticeLine1 + "\n" + kNoticeLine2 + "\n\n";
}

}  // namespace quillet
