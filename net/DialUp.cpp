// The shared dial-up connection (see DialUp.h).
#include "net/DialUp.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "base/Clock.h"

namespace quillet {
namespace {

// The process-wide dial-up lock: serialises all link use of every DialUp object.
std::recursive_mutex& dialUpLock() {
  static std::recursive_mutex lock;
  return lock;
}

// The entry name as the settings give it, with blanks and one pair of quotes removed.
std::string cleanEntryName(const Str& entry) {
  Str name = entry;
  name.trim();
  if (name.length() >= 2 && name.at(0) == '"' && name.at(name.length() - 1) == '"') {
    name = name.left(name.length() - 1).mid(1);
  }
  return name.toStd();
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

}  // namespace

DialUp::DialUp(const DialUpSettings& config, std::unique_ptr<DialUpLink> link,
               DialUpHangUpTiming timing)
    : link_(std::move(link)),
      timing_(timing),
      entryName_(cleanEntryName(config.phoneBookEntry)),
      credentials_{config.user.toStd(), config.password.toStd(), config.domain.toStd()},
      keepOpen_(config.keepOpen) {
  enableLock();
  std::lock_guard<std::recursive_mutex> rasLock(dialUpLock());
  loaded_ = link_ != nullptr && link_->available();
}

DialUp::~DialUp() {
  std::lock_guard<std::recursive_mutex> rasLock(dialUpLock());
  Guard guard(*this);
  useCount_ = 0;
  active_ = false;
  if (loaded_) (void)hangUp();
}

bool DialUp::adoptOpenConnection() {
  std::vector<std::string> names;
  if (link_->activeConnections(names) != 0 || !contains(names, entryName_)) return false;
  std::string address;
  if (link_->ipv4Address(entryName_, address) != 0) return false;
  localAddress_ = Str(std::string_view(address));
  return true;
}

int DialUp::dial() {
  int rc = link_->bringUp(entryName_, credentials_);
  std::string address;
  if (rc == 0) rc = link_->ipv4Address(entryName_, address);
  if (rc != 0) {
    // Take down whatever the failed attempt left half open.
    (void)link_->bringDown(entryName_);
    return rc;
  }
  localAddress_ = Str(std::string_view(address));
  return 0;
}

int DialUp::enter(DialUpSession& holder) {
  std::lock_guard<std::recursive_mutex> rasLock(dialUpLock());
  Guard guard(*this);
  if (!loaded_) return err::kDialUpNotLoaded;
  if (active_ && useCount_ > 0) {
    // A holder counts once, even when it enters again without leaving.
    if (!holder.entered) ++useCount_;
    holder.entered = true;
    holder.count = useCount_;
    return err::kDialUpShared;
  }
  bool adopted = adoptOpenConnection();
  if (!adopted) {
    const int rc = dial();
    if (rc != 0) return rc;
  }
  dialed_ = !adopted;
  active_ = true;
  useCount_ = 1;
  holder.entered = true;
  holder.count = useCount_;
  return err::kOk;
}

int DialUp::leave(DialUpSession& holder) {
  std::lock_guard<std::recursive_mutex> rasLock(dialUpLock());
  Guard guard(*this);
  if (!loaded_) return err::kDialUpNotLoaded;
  if (!holder.entered || useCount_ == 0) {
    holder.entered = false;
    holder.count = 0;
    return err::kOk;
  }
  --useCount_;
  holder.entered = false;
  holder.count = 0;
  if (useCount_ > 0) return err::kDialUpShared;
  active_ = false;
  return hangUp();
}

int DialUp::hangUp() {
  std::lock_guard<std::recursive_mutex> rasLock(dialUpLock());
  Guard guard(*this);
  if (!loaded_) return err::kDialUpNotLoaded;
  if (dialed_) {
    (void)link_->bringDown(entryName_);
    // Wait until the line is really down, so a new dial does not meet the old line; the
    // wait is bounded because the system may keep a connection that will not go down.
    const WaitDeadline until{std::chrono::milliseconds(timing_.waitMs)};
    std::vector<std::string> names;
    while (link_->activeConnections(names) == 0 && contains(names, entryName_) &&
           !until.reached()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(timing_.pollMs));
    }
  }
  dialed_ = false;
  localAddress_ = Str();
  return err::kOk;
}

Str DialUp::errorText(int code) const {
  Str text("Dial-Up Error: ");
  if (code == err::kDialUpNotLoaded) {
    text += "Unable to load RasApi32.DLL";
  } else if (!loaded_) {
    text += "RasApi32.DLL not loaded";
  } else {
    std::string systemText;
    {
      std::lock_guard<std::recursive_mutex> rasLock(dialUpLock());
      systemText = link_->errorText(code);
    }
    if (systemText.empty()) {
      text += "Undefined Dial-Up network error";
    } else {
      text += Str(std::string_view(systemText)).ansiToOemCopy();
    }
  }
  text += " ";
  text += Str::encloseSquare(Str::fromInt(code));
  return text;
}

Str DialUp::entryNameOem() const { return Str(std::string_view(entryName_)).ansiToOemCopy(); }

Str DialUp::localAddress() const {
  Guard guard(*this);
  return localAddress_;
}

uint32_t DialUp::useCount() const {
  Guard guard(*this);
  return useCount_;
}

bool DialUp::active() const {
  Guard guard(*this);
  return active_;
}

}  // namespace quillet
