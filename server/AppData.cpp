// The state of one server run (see AppData.h).
#include "server/AppData.h"

#include "base/DateTime.h"
#include "base/Sema.h"
#include "config/DataFiles.h"
#include "server/Banner.h"
#include "server/display/BreakTime.h"

namespace quillet {

namespace {

StatisticsOptions statisticsOptions(const Kernel& kernel) {
  const ServerSettings& settings = kernel.settings();
  StatisticsOptions options;
  options.writeStatisticFile = settings.boolean(ServerKey::WriteStatisticFile);
  options.statisticPath = settings.string(ServerKey::StatisticPath);
  options.useAnsi = settings.boolean(ServerKey::StatisticFileUseANSI);
  options.writeHeader = settings.boolean(ServerKey::StatisticFileWriteHeader);
  options.programDirectory = kernel.programDirectory();
  return options;
}

}  // namespace

AppData::AppData(Kernel& kernel)
    : kernel_(kernel),
      verbose_(kernel.settings().boolean(ServerKey::Verbose)),
      programTitle_(kProgramTitle),
      breakAt_(computeBreakTime(kernel.settings().string(ServerKey::BreakTime),
                                kernel.settings().string(ServerKey::BreakRelative),
                                currentTimestamp())),
      dialUp_(prepareDialUpSettings(kernel.settings())),
      socks_(prepareSocksSettings(kernel.settings())),
      queues_(kernel.programDirectory()),
      statistics_(statisticsOptions(kernel)) {}

AppData::LoadResult AppData::loadDataFiles() {
  Sema dataLock(kDataLockName);
  if (!dataLock.acquire(1)) return LoadResult::LockBusy;
  DataFiles files(kernel_.programDirectory());
  if (!files.loadForServer(mailboxes_, addresses_)) return LoadResult::LoadFailed;
  // Closing writes DATACONF.DAT's first record when it was just made, so the times are
  // recorded afterwards, still under the lock.
  if (!files.close()) return LoadResult::LoadFailed;
  const Str& directory = kernel_.programDirectory();
  dataWatchers_[0].record(directory + DataPOP::kFileName);
  dataWatchers_[1].record(directory + DataUser::kFileName);
  dataWatchers_[2].record(directory + DataConf::kFileName);
  return LoadResult::Loaded;
}

bool AppData::dataFilesChanged() const {
  for (const FileReRead& watcher : dataWatchers_) {
    if (watcher.changed()) return true;
  }
  return false;
}

}  // namespace quillet
