// The server's signal handling, standing in for the console control events and the stop
// and pause controls of a Windows service:
//   SIGTERM         stop: clears the running flag, always (service stop, system shutdown);
//   SIGINT, SIGHUP  Ctrl+C and a closed terminal or log-off: clear the running flag unless
//                   the matching ignore flag is set (service mode sets both);
//   SIGQUIT         Ctrl+\ (Ctrl+Break): ends the process at once with exit code 0, with
//                   no stop sequence, after restoring the terminal;
//   SIGUSR1/SIGUSR2 pause / continue the supervising loop (not the worker threads);
//   SIGPIPE         ignored (a peer that closes a socket is reported by the write).
// A stop by signal is also remembered, so a stop that arrives while a run restarts is not
// lost when the next run sets the running flag again.
//
// Handlers only store atomics (and, for SIGQUIT, restore the terminal and _exit); all other
// work happens on the threads that poll these values.
#pragma once

namespace quillet {

// Installs the handlers above; once per process, later calls change nothing.
void installServerSignalHandlers();

// The ignore flags of SIGINT and SIGHUP.
void setSignalIgnoreFlags(bool ignoreInterrupt, bool ignoreLogoff);

// True once SIGTERM (or SIGINT/SIGHUP while not ignored) arrived.
[[nodiscard]] bool stopRequestedBySignal();

// Pause state of the supervising loop: set by SIGUSR1, cleared by SIGUSR2.
[[nodiscard]] bool supervisorPaused();
void setSupervisorPaused(bool paused);

// The number of the signal whose stop request arrived most recently (0: none); for tests.
[[nodiscard]] int lastStopSignal();
// Forgets a stop request and the pause state (tests that raise signals in-process).
void resetSignalStateForTests();

}  // namespace quillet
