// Terminal: descriptor tests, size, raw mode with restore on every exit path, key bytes.
#include "platform/Terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace quillet {
namespace {

// The one saved terminal state. Written only while no raw mode is active (under
// rawModeMutex), read by the restore path, which may run in a signal handler.
struct SavedTerminal {
  termios state{};
  int fd = -1;
};
SavedTerminal savedTerminal;
std::atomic<bool> rawModeActive{false};
std::mutex rawModeMutex;

constexpr size_t kRestoreSequenceMax = 127;
char restoreSequence[kRestoreSequenceMax + 1] = {};
std::atomic<size_t> restoreSequenceLength{0};

void writeRaw(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t written = ::write(fd, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    n -= static_cast<size_t>(written);
  }
}

// Async-signal-safe: tcsetattr and write only. Each part is done at most once.
void restoreSaved() {
  if (rawModeActive.exchange(false)) ::tcsetattr(savedTerminal.fd, TCSAFLUSH, &savedTerminal.state);
  const size_t length = restoreSequenceLength.exchange(0);
  if (length > 0) writeRaw(STDOUT_FILENO, restoreSequence, length);
}

void restoreAtExit() { restoreSaved(); }

void registerRestoreAtExit() {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(restoreAtExit); });
}

void fatalSignalHandler(int signalNumber) {
  const int savedErrno = errno;
  restoreSaved();
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
  errno = savedErrno;
}

}  // namespace

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

std::optional<TerminalSize> terminalSize(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return std::nullopt;
  }
  return TerminalSize{size.ws_col, size.ws_row};
}

bool writeToTerminal(int fd, std::string_view bytes) {
  const char* data = bytes.data();
  size_t n = bytes.size();
  while (n > 0) {
    const ssize_t written = ::write(fd, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

RawTerminalMode::RawTerminalMode(int fd) : fd_(fd) {
  registerRestoreAtExit();
  std::lock_guard<std::mutex> guard(rawModeMutex);
  if (rawModeActive.load() || !isTerminal(fd)) return;
  termios state{};
  if (::tcgetattr(fd, &state) != 0) return;
  savedTerminal.state = state;
  savedTerminal.fd = fd;

  state.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ECHONL | IEXTEN));
  state.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  state.c_cc[VMIN] = 0;
  state.c_cc[VTIME] = 0;
  rawModeActive.store(true);
  if (::tcsetattr(fd, TCSANOW, &state) != 0) {
    rawModeActive.store(false);
    return;
  }
  active_ = true;
}

RawTerminalMode::~RawTerminalMode() {
  if (!active_) return;
  std::lock_guard<std::mutex> guard(rawModeMutex);
  // The restore sequence belongs to the screen, which writes its own on a normal close.
  if (rawModeActive.exchange(false)) ::tcsetattr(fd_, TCSAFLUSH, &savedTerminal.state);
}

void setTerminalRestoreSequence(std::string_view bytes) {
  // Clear first so that a signal arriving meanwhile never writes a half-copied sequence.
  restoreSequenceLength.store(0);
  const size_t n = bytes.size() < kRestoreSequenceMax ? bytes.size() : kRestoreSequenceMax;
  if (n == 0) return;
  registerRestoreAtExit();
  std::memcpy(restoreSequence, bytes.data(), n);
  restoreSequenceLength.store(n);
}

void restoreTerminalFromSignal() { restoreSaved(); }

void installTerminalRestoreOnFatalSignals() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    for (int signalNumber : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
      struct sigaction action {};
      action.sa_handler = fatalSignalHandler;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      ::sigaction(signalNumber, &action, nullptr);
    }
  });
}

std::string readWaitingBytes(int fd) {
  pollfd entry{fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, 0);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0 || (entry.revents & POLLIN) == 0) return {};
  char buffer[64];
  ssize_t n;
  do {
    n = ::read(fd, buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace quillet
