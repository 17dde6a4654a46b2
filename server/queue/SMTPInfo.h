// SMTPInfo: one queued message as held in memory (envelope, delivery state and the paths of
// its message and index files), and SMTPInfoAddress, one envelope address with its DSN
// parameter and flags.
//
// These are plain values: they know nothing about directories or the index file layout
// (see IndexFileFormat.h and QueueStore.h). Only clear() touches the disk, to delete the
// entry's two files when asked.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

// One envelope address. For the sender, parameter is the DSN envelope identifier (ENVID);
// for a recipient, the DSN original recipient (ORCPT).
struct SMTPInfoAddress {
  static constexpr uint32_t kHasEnvid = 0x02;       // parameter holds an ENVID (sender)
  static constexpr uint32_t kHasOrcpt = 0x04;       // parameter holds an ORCPT (recipient)
  static constexpr uint32_t kNotifyNever = 0x08;    // NOTIFY=NEVER
  static constexpr uint32_t kNotifySuccess = 0x10;  // NOTIFY includes SUCCESS
  static constexpr uint32_t kNotifyFailure = 0x20;  // NOTIFY includes FAILURE
  static constexpr uint32_t kNotifyDelay = 0x40;    // NOTIFY includes DELAY
  static constexpr uint32_t kReturnFull = 0x100;    // RET=FULL (sender); clear = RET=HDRS

  SMTPInfoAddress() = default;
  explicit SMTPInfoAddress(const Str& addressText, uint32_t addressFlags = 0,
                           const Str& param = Str())
      : address(addressText), parameter(param), flags(addressFlags) {}

  Str address;    // without angle brackets; empty for the null reverse-path
  Str parameter;  // ENVID or ORCPT, see flags
  uint32_t flags = 0;

  // Empties address and parameter and clears the flags.
  void clear();
};

using ArraySMTPInfoAddress = ArrayTmpl<SMTPInfoAddress>;

// One queued message. Times are queue timestamps (seconds since 1994-01-01 local time).
struct SMTPInfo {
  static constexpr uint32_t kFromMailboxOrPickup = 0x08;  // entered from POP3 or pickup
  static constexpr uint32_t kDefaultPriority = 3;
  static constexpr uint32_t kNotificationPriority = 5;
  static constexpr int kMaxTranscriptLines = 10;

  Str messageFile;  // full path of the message file (…/MSG-IN/MSGxxxxx.TXT)
  Str indexFile;    // full path of the index file (same base name, INX or ONX)
  uint32_t queuedAt = 0;
  uint32_t flags = 0;  // kFromMailboxOrPickup; other bits are kept unchanged
  Str source;          // POP3 user name of the mailbox, or "Pickup"
  SMTPInfoAddress sender;
  uint32_t priority = kDefaultPriority;  // 1 (highest) .. 5 (lowest)
  Str textA;                             // kept and restored unchanged
  Str textB;                             // kept and restored unchanged
  uint32_t expiresAt = 0;
  uint32_t nextTryAt = 0;
  uint32_t tries = 0;
  uint32_t lastError = 0;
  Str lastReply;
  ArrayStr transcript;  // up to kMaxTranscriptLines lines of the last failed session
  ArraySMTPInfoAddress recipients;
  uint32_t queueId = 0;  // run time only, not stored
  uint32_t running = 0;  // run time only, not stored

  // True for a priority that may be stored: 1 to 5.
  [[nodiscard]] static bool isValidPriority(uint32_t value) { return value >= 1 && value <= 5; }

  // Sets the message file, sender and recipients, queuedAt = now and expiresAt = now +
  // lifetime; the priority only when it is 1 to 5 (otherwise it is left as it is).
  void init(const Str& messagePath, const SMTPInfoAddress& envelopeSender,
            const ArraySMTPInfoAddress& envelopeRecipients, uint32_t lifetimeSeconds,
            uint32_t newPriority, uint32_t now);

  // With deleteFiles, deletes the message file and the index file (each only when its name
  // is not blank and it exists; a failed deletion is not reported), together with a
  // temporary index left by an interrupted rewrite. Then empties every string, the sender
  // and both arrays and sets flags to 0; times, tries and priority are left as they are.
  void clear(bool deleteFiles);
};

}  // namespace quillet
