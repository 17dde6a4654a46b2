// ServerKeys: the server's settings keys (QUILLET.INI), in the order the server registers
// them, with type, default and value flags.
//
// ServerKey names each key; its value is the key's position in the table, so the key's
// 1-based index in a store filled by registerServerKeys() is the enum value + 1 and
// lookups need no name search. Adding a key means one enum entry and one table row at
// the same place (a compile-time check compares the counts; a test samples the names).
//
// It holds no values; ServerSettings holds them for a run.
#pragma once

#include <cstdint>
#include <span>

#include "base/IniItem.h"

namespace quillet {

class IniStore;

enum class ServerKey : int {
  Postmaster,
  WriteLogFile,
  LogPath,
  LogFilePurgeDays,
  Verbose,
  VerboseTransfer,
  KeepMessageFile,
  DumpSMTPHeader,
  WriteStatisticFile,
  StatisticPath,
  WriteVirusStatisticFile,
  VirusStatisticPath,
  StatisticFileUseANSI,
  StatisticFileWriteHeader,
  PostmasterAsCCInNDR,
  InboundPOP3StatusDSN,
  SendLogFileTo,
  Interval,
  SMTPOutboundPort,
  POPInboundPort,
  InboundPOP3MaxConnections,
  SMTPOutboundNormalExpire,
  SMTPOutboundNormalNextTry,
  CheckBeforeFileOpen,
  SmartHost,
  OutboundExchAuth,
  OutboundExchAuthUser,
  OutboundExchAuthPassword,
  OutboundESMTP,
  OutboundSMTPNeedDSNNever,
  CheckExchange,
  MsgSizeLimit,
  ExchInboundDomain,
  DialUpOutbound,
  DialUpOutboundPhoneBook,
  DialUpOutboundUser,
  DialUpOutboundPassword,
  DialUpOutboundDomain,
  DialUpOutboundKeepOpen,
  SOCKSHostTyp,
  SOCKSHost,
  SOCKSUser,
  SOCKSPassword,
  InboundAPOP,
  InboundCAPA,
  InboundPOP3HidePassword,
  ScanInboundMessages,
  VirusScanner,
  VirusScannerPara,
  VirusScannerTyp,
  VirusScannerNewConsole,
  VirusScannerExitCode,
  VirusPostScanner,
  VirusPostScannerPara,
  VirusPostScannerNewConsole,
  VirusPostScannerUseLine,
  DebugVirusScanner,
  WakeUpRouter,
  WakeUpRouterIPAddress,
  LeaveMessagesOnServer,
  InboundPOP3DontDeleteOnError,
  InboundPOP3MaxMessages,
  InboundPOP3MaxMessageSize,
  CheckDupPOP3Msg,
  POPDecodeTyp,
  POPDecodeCustomField,
  POPDecodeAddCustomField,
  POPDecodeAddField,
  POPDecodeRecvForPos,
  Pickup,
  PickupPath,
  PickupEvery,
  ExchVerifyTyp,
  CacheVRFY,
  StartupDelay,
  ThreadStartupDelay,
  BreakTime,
  BreakRelative,
  ScreenMono,
  IniWizard,
  TLSTrustFile,  // trust store for TLS; empty = the system trust store
  // STARTTLS to the mail host: 0 never, 1 when offered (certificate not required to be
  // trusted), 2 required (certificate checked against TLSTrustFile)
  OutboundSTARTTLS,
};

struct ServerKeyDefinition {
  const char* name;
  IniType type;               // String, Integer, Boolean or List
  int32_t numberDefault;      // Integer and Boolean
  const char* stringDefault;  // String
  int32_t flags;              // String and List: kIniLowerCase, kIniTrim
};

inline constexpr int kServerKeyCount = static_cast<int>(ServerKey::OutboundSTARTTLS) + 1;

// The table, in registration order.
[[nodiscard]] std::span<const ServerKeyDefinition> serverKeyTable();
[[nodiscard]] const ServerKeyDefinition& serverKeyDefinition(ServerKey key);
[[nodiscard]] inline const char* serverKeyName(ServerKey key) {
  return serverKeyDefinition(key).name;
}

// Registers every key of the table, in its order, with its default. Meant for an empty
// store: then each key's index is its ServerKey value + 1.
void registerServerKeys(IniStore& store);

}  // namespace quillet
