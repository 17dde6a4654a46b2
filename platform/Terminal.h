// Terminal: the console of the server on Linux. Answers whether a descriptor is a terminal
// and its size, writes raw bytes (ANSI/VT100 sequences are built by the caller), switches
// standard input to raw mode for single key presses and reads them without waiting.
//
// Raw mode keeps ISIG, so Ctrl+C and Ctrl+\ still raise SIGINT and SIGQUIT. The saved
// terminal state is restored by RawTerminalMode's destructor, at exit(), and on fatal
// signals (installTerminalRestoreOnFatalSignals); a signal handler of the program that
// ends the process itself calls restoreTerminalFromSignal() first. It does not interpret
// escape sequences of the output and reads only what is already waiting on input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// True when the descriptor is a terminal.
[[nodiscard]] bool isTerminal(int fd);

// Columns and rows of the terminal behind fd; nullopt when it is not a terminal or
// reports no size.
struct TerminalSize {
  int columns = 80;
  int rows = 25;
};
[[nodiscard]] std::optional<TerminalSize> terminalSize(int fd);

// Writes all bytes to fd, retrying after interruptions; false when a write failed.
bool writeToTerminal(int fd, std::string_view bytes);

// Raw mode of one terminal for as long as the object lives: no line buffering, no echo,
// reads return at once. Signals keep working. Only one raw mode exists at a time.
class RawTerminalMode {
 public:
  explicit RawTerminalMode(int fd);
  ~RawTerminalMode();  // restores the saved state
  RawTerminalMode(const RawTerminalMode&) = delete;
  RawTerminalMode& operator=(const RawTerminalMode&) = delete;

  // True when raw mode was entered (fd is a terminal and it accepted the change).
  bool active() const { return active_; }

 private:
  int fd_;
  bool active_ = false;
};

// Bytes written to the terminal (standard output) when it is restored on an abnormal exit,
// such as the sequence that leaves the alternate screen and shows the cursor. At most
// 127 bytes are kept; an empty text clears it.
void setTerminalRestoreSequence(std::string_view bytes);

// Restores the saved mode when raw mode is active and writes the restore sequence when one
// is set, each at most once. Safe inside a signal handler. Also runs at exit().
void restoreTerminalFromSignal();

// Installs handlers for SIGABRT, SIGSEGV, SIGBUS, SIGFPE and SIGILL that restore the
// terminal and then let the signal take its default course. Installed once per process.
void installTerminalRestoreOnFatalSignals();

// Reads the bytes already waiting on fd (at most 64), without waiting. Empty when nothing
// is waiting or on failure.
[[nodiscard]] std::string readWaitingBytes(int fd);

}  // namespace quillet
