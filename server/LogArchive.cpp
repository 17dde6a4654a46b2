// The zipped log (see LogArchive.h).
#include "server/LogArchive.h"

#include <minizip/zip.h>

#include <memory>
#include <vector>

#include "base/File.h"
#include "base/FileNames.h"
#include "server/queue/QueuePaths.h"

namespace quillet {
namespace {

constexpr int kReadBlock = 64 * 1024;

// minizip's I/O through one base File; the stream is the File, created and deleted here.
struct ArchiveFile {
  explicit ArchiveFile(const char* name) : file(Str(name)) {}
  File file;
  bool failed = false;
};

voidpf openArchive(voidpf, const void* name, int mode) {
  // Only the new archive is ever opened (the zip is written, never appended to or read).
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) == 0) return nullptr;
  auto archive = std::make_unique<ArchiveFile>(static_cast<const char*>(name));
  if (!archive->file.open(File::kCreate)) return nullptr;
  return archive.release();
}

uLong readArchive(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* archive = static_cast<ArchiveFile*>(stream);
  const ReadResult got = archive->file.read(buffer, static_cast<int>(size));
  if (got.failed()) {
    archive->failed = true;
    return 0;
  }
  return static_cast<uLong>(got.bytes);
}

uLong writeArchive(voidpf, voidpf stream, const void* buffer, uLong size) {
  auto* archive = static_cast<ArchiveFile*>(stream);
  const int written = archive->file.write(buffer, static_cast<int>(size));
  if (written != static_cast<int>(size)) archive->failed = true;
  return static_cast<uLong>(written);
}

ZPOS64_T tellArchive(voidpf, voidpf stream) {
  auto* archive = static_cast<ArchiveFile*>(stream);
  const int64_t position = archive->file.seek(SEEK_CUR, 0);
  if (position < 0) archive->failed = true;
  return position < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(position);
}

long seekArchive(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* archive = static_cast<ArchiveFile*>(stream);
  const int method = origin == ZLIB_FILEFUNC_SEEK_CUR   ? SEEK_CUR
                     : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END
                                                        : SEEK_SET;
  if (archive->file.seek(method, static_cast<int64_t>(offset)) < 0) {
    archive->failed = true;
    return -1;
  }
  return 0;
}

int closeArchive(voidpf, voidpf stream) {
  std::unique_ptr<ArchiveFile> archive(static_cast<ArchiveFile*>(stream));
  const bool synced = archive->file.sync();
  return archive->file.close() && synced && !archive->failed ? 0 : -1;
}

int archiveError(voidpf, voidpf stream) {
  return static_cast<ArchiveFile*>(stream)->failed ? -1 : 0;
}

zip_fileinfo memberInfo(const Str& logPath) {
  zip_fileinfo info{};
  Date date;
  Time time;
  if (fileLastWrite(logPath, date, time)) {
    info.tmz_date.tm_year = date.year;
    info.tmz_date.tm_mon = date.month - 1u;
    info.tmz_date.tm_mday = date.day;
    info.tmz_date.tm_hour = time.hour;
    info.tmz_date.tm_min = time.minute;
    info.tmz_date.tm_sec = time.second;
  }
  return info;
}

// Deflates the log into the archive's one member; false on any failure.
bool writeMember(zipFile zip, const Str& logPath) {
  File log(logPath);
  if (!log.open(File::kReadSharedOnce)) return false;
  const zip_fileinfo info = memberInfo(logPath);
  // The member's name is the log's own name, in the system encoding like every name we show.
  const Str memberName = baseNameOf(logPath).oemToAnsiCopy();
  if (zipOpenNewFileInZip64(zip, memberName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) != ZIP_OK) {
    return false;
  }
  std::vector<char> block(kReadBlock);
  bool ok = true;
  for (;;) {
    const ReadResult got = log.read(block.data(), kReadBlock);
    if (got.failed()) {
      ok = false;
      break;
    }
    if (got.bytes > 0 &&
        zipWriteInFileInZip(zip, block.data(), static_cast<unsigned>(got.bytes)) != ZIP_OK) {
      ok = false;
      break;
    }
    if (got.atEnd()) break;
  }
  return zipCloseFileInZip(zip) == ZIP_OK && ok;
}

}  // namespace

bool writeLogArchive(const Str& logPath, const Str& archivePath) {
  zlib_filefunc64_def functions{};
  functions.zopen64_file = openArchive;
  functions.zread_file = readArchive;
  functions.zwrite_file = writeArchive;
  functions.ztell64_file = tellArchive;
  functions.zseek64_file = seekArchive;
  functions.zclose_file = closeArchive;
  functions.zerror_file = archiveError;
  functions.opaque = nullptr;

  zipFile zip = zipOpen2_64(archivePath.c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
  if (zip == nullptr) return false;
  const bool member = writeMember(zip, logPath);
  const bool closed = zipClose(zip, nullptr) == ZIP_OK;
  if (member && closed) return true;
  static_cast<void>(removeFile(archivePath));
  return false;
}

}  // namespace quillet
