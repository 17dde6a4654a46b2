// Shared pieces of the server tests: a program directory with a settings file, a run's
// Kernel and AppData in it with the message lines captured, and worker threads that
// record their start and stop as told.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/BaseThread.h"
#include "base/ProcessContext.h"
#include "server/AppData.h"
#include "server/Kernel.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace quillet::testing {

// The message lines a run wrote, safe to read while threads write.
class CapturedLines {
 public:
  void add(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // Number of lines that contain text.
  int count(const std::string& text) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const std::string& line : lines_) n += line.find(text) != std::string::npos ? 1 : 0;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// A program directory with QUILLET.INI; makeRun() builds a run's Kernel and AppData.
class ServerRunFixture {
 public:
  explicit ServerRunFixture(const std::string& settings) : dir_("server-run") {
    writeBytes(dir_.file("QUILLET.INI"), settings);
    ProcessContext::instance().setRunning(true);
  }
  ~ServerRunFixture() {
    app_.reset();
    kernel_.reset();
    ProcessContext::instance().setRunning(true);
  }

  void makeRun() {
    kernel_ = std::make_unique<Kernel>(Str(dir_.path() + "/"), false,
                                       [this](const std::string& line) { lines_.add(line); });
    app_ = std::make_unique<AppData>(*kernel_);
  }

  // Moves the file's modification time forward, so a watcher sees a change at once.
  void touchLater(const std::string& name) const {
    const auto path = std::filesystem::path(dir_.file(name));
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
  }

  TempDir& dir() { return dir_; }
  AppData& app() { return *app_; }
  const CapturedLines& lines() const { return lines_; }

 private:
  TempDir dir_;
  CapturedLines lines_;
  std::unique_ptr<Kernel> kernel_;
  std::unique_ptr<AppData> app_;
};

// A worker that appends its name to a shared log when it runs, reports its set-up through
// reportSetUp (when given), and then either pauses until asked to stop or, with
// ignoreStopFor, goes on that long after the request.
class TestWorker : public BaseThread {
 public:
  struct Log {
    std::mutex mutex;
    std::vector<std::string> started;
  };

  TestWorker(ThreadRegistry* registry, std::shared_ptr<Log> log, std::string name,
             std::function<void(bool)> reportSetUp = {},
             std::chrono::milliseconds ignoreStopFor = std::chrono::milliseconds(0),
             std::shared_ptr<std::atomic<bool>> release = nullptr)
      : BaseThread(registry),
        log_(std::move(log)),
        name_(std::move(name)),
        reportSetUp_(std::move(reportSetUp)),
        ignoreStopFor_(ignoreStopFor),
        release_(std::move(release)) {}

 protected:
  int run() override {
    {
      std::lock_guard lock(log_->mutex);
      log_->started.push_back(name_);
    }
    if (reportSetUp_) reportSetUp_(true);
    while (pause()) {
    }
    if (release_) {
      // Ignores the stop request until the test releases it.
      while (!release_->load()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } else if (ignoreStopFor_.count() > 0) {
      std::this_thread::sleep_for(ignoreStopFor_);
    }
    return 0;
  }

 private:
  std::shared_ptr<Log> log_;
  std::string name_;
  std::function<void(bool)> reportSetUp_;
  std::chrono::milliseconds ignoreStopFor_;
  std::shared_ptr<std::atomic<bool>> release_;
};

}  // namespace quillet::testing
