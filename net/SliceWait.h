// Waiting for a socket in time slices, so that a stop request is noticed while a peer is
// slow or silent.
//
// A wait of T ms is a number of slices: 1 when T / 1000 is 10 or less, else T / 10000
// (integer division); so every time-out lasts at least one slice and is rounded down to
// whole slices. A slice lasts 10 seconds; tests may shorten it. Within a slice the running
// flag of the process is checked every 250 ms at the latest, so a stop ends a wait soon
// instead of at the end of the slice. It does not read or write any data.
#pragma once

namespace quillet {

struct SliceTiming {
  int sliceMs = 10000;  // length of one slice
  int checkMs = 250;    // longest poll between two looks at the running flag
};

enum class WaitKind { Writable, Readable, Exception };

// The number of slices a time-out of timeoutMs stands for.
[[nodiscard]] int slicesFor(int timeoutMs);

// Waits until fd is ready for kind. Returns 0 when ready, 1 when the running flag was
// cleared (also before the first poll), expiryCode when all slices passed, or the WinSock
// code of a poll failure. A socket in error or hung up counts as ready, so the following
// send or recv reports what happened.
[[nodiscard]] int waitSliced(int fd, WaitKind kind, int timeoutMs, int expiryCode,
                             const SliceTiming& timing);

}  // namespace quillet
