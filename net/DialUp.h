// DialUp: the one shared dial-up connection of a server run. Mailbox threads enter it
// before they talk to their provider and leave it afterwards; the first to enter adopts a
// connection to the configured entry that is already up or dials it, later ones join it,
// and the last to leave hangs up what was dialed here. An adopted connection is only left,
// never hung up.
//
// The system's steps go through a DialUpLink (NetworkManager in the server, a fake in
// tests). Every call, and all use of the link, is serialised by one process-wide dial-up
// lock, taken before the object's own lock; a dial therefore makes other threads wait
// and then join. It does not wait for keep-open delays (NetworkUpDown does).
#pragma once

#include <cstdint>
#include <memory>

#include "base/BaseObj.h"
#include "base/ErrorCodes.h"
#include "base/Str.h"
#include "net/DialUpSettings.h"
#include "platform/DialUpLink.h"

namespace quillet {

// One mailbox thread's hold on the connection.
struct DialUpSession {
  uint32_t count = 0;    // the use count after entering, or 0
  bool entered = false;  // this holder holds one use of the connection
};

// How long hangUp waits for a dialed connection to be really down, and how often it looks;
// tests shorten these.
struct DialUpHangUpTiming {
  int waitMs = 30000;
  int pollMs = 250;
};

class DialUp : public BaseObj {
 public:
  // A dial-up object for config over link; when the link's facility is not available
  // the object is "not loaded" and every call answers err::kDialUpNotLoaded.
  DialUp(const DialUpSettings& config, std::unique_ptr<DialUpLink> link,
         DialUpHangUpTiming timing = {});
  // Releases all uses and hangs up a connection dialed here.
  ~DialUp() override;
  DialUp(const DialUp&) = delete;
  DialUp& operator=(const DialUp&) = delete;

  // Takes one use of the connection for holder. Returns 0 when the connection was dialed
  // or adopted now, err::kDialUpShared (551) when holder joined a connection already up,
  // err::kDialUpNotLoaded (550) when not loaded, or the link's failure code (a half-open
  // connection is taken down first).
  [[nodiscard]] int enter(DialUpSession& holder);

  // Gives up holder's use. Returns 0 when it was the last one (the connection is hung up
  // if it was dialed here) or holder held none, err::kDialUpShared when others still use
  // it, err::kDialUpNotLoaded when not loaded.
  [[nodiscard]] int leave(DialUpSession& holder);

  // Takes down a connection dialed here and forgets the local address. Returns 0, or
  // err::kDialUpNotLoaded when not loaded.
  [[nodiscard]] int hangUp();

  // "Dial-Up Error: " + the code's text + " [" + code + "]" (OEM text).
  [[nodiscard]] Str errorText(int code) const;

  [[nodiscard]] bool loaded() const { return loaded_; }
  [[nodiscard]] int32_t keepOpen() const { return keepOpen_; }
  // The entry name and the address the connection got, as OEM text for messages.
  [[nodiscard]] Str entryNameOem() const;
  [[nodiscard]] Str localAddress() const;
  [[nodiscard]] uint32_t useCount() const;
  [[nodiscard]] bool active() const;

 private:
  // Tries to adopt an open connection to the entry; true with localAddress_ set.
  [[nodiscard]] bool adoptOpenConnection();
  // Dials the entry; 0 with localAddress_ set, or the link's failure code.
  [[nodiscard]] int dial();

  std::unique_ptr<DialUpLink> link_;
  DialUpHangUpTiming timing_;
  bool dialed_ = false;  // guarded by the lock: the connection in use was dialed here
  bool loaded_ = false;
  std::string entryName_;
  DialUpCredentials credentials_;
  int32_t keepOpen_ = 0;
  Str localAddress_;       // guarded by the lock
  uint32_t useCount_ = 0;  // guarded by the lock
  bool active_ = false;    // guarded by the lock
};

}  // namespace quillet
