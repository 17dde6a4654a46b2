// Sliced waiting on one descriptor (see SliceWait.h).
#include "net/SliceWait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "base/Clock.h"
#include "base/ErrorCodes.h"
#include "base/ProcessContext.h"
#include "net/WinsockCodes.h"

namespace quillet {

int slicesFor(int timeoutMs) {
  if (timeoutMs / 1000 <= 10) return 1;
  return timeoutMs / 10000;
}

int waitSliced(int fd, WaitKind kind, int timeoutMs, int expiryCode, const SliceTiming& timing) {
  const ProcessContext& context = ProcessContext::instance();
  short events = 0;
  switch (kind) {
    case WaitKind::Writable:
      events = POLLOUT;
      break;
    case WaitKind::Readable:
      events = POLLIN;
      break;
    case WaitKind::Exception:
      events = POLLPRI;
      break;
  }
  const int sliceMs = std::max(1, timing.sliceMs);
  const int checkMs = std::max(1, timing.checkMs);
  const int slices = slicesFor(timeoutMs);
  for (int slice = 0; slice < slices; ++slice) {
    const WaitDeadline sliceEnd(std::chrono::milliseconds{sliceMs});
    for (;;) {
      if (!context.running()) return err::kTerminated;
      const int pollMs = sliceEnd.sliceMs(checkMs);
      if (pollMs <= 0) break;
      pollfd entry{fd, events, 0};
      const int ready = ::poll(&entry, 1, pollMs);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return winsockCodeFromErrno(errno);
      }
      if (ready > 0) {
        if (entry.revents & POLLNVAL) return winsockCodeFromErrno(EBADF);
        return 0;
      }
    }
  }
  return context.running() ? expiryCode : err::kTerminated;
}

}  // namespace quillet
