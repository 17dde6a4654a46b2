// ServerKeys: the table of the server's settings keys and their registration.
#include "config/ServerKeys.h"

#include <cassert>
#include <iterator>

#include "base/IniStore.h"

namespace quillet {
namespace {

constexpr ServerKeyDefinition kServerKeys[] = {
    {"Postmaster", IniType::String, 0, "", 0},
    {"WriteLogFile", IniType::Boolean, 1, "", 0},
    {"LogPath", IniType::String, 0, "", 0},
    {"LogFilePurgeDays", IniType::Integer, 0, "", 0},
    {"Verbose", IniType::Boolean, 1, "", 0},
    {"VerboseTransfer", IniType::Boolean, 1, "", 0},
    {"KeepMessageFile", IniType::Boolean, 0, "", 0},
    {"DumpSMTPHeader", IniType::Boolean, 1, "", 0},
    {"WriteStatisticFile", IniType::Boolean, 0, "", 0},
    {"StatisticPath", IniType::String, 0, "", 0},
    {"WriteVirusStatisticFile", IniType::Boolean, 0, "", 0},
    {"VirusStatisticPath", IniType::String, 0, "", 0},
    {"StatisticFileUseANSI", IniType::Boolean, 0, "", 0},
    {"StatisticFileWriteHeader", IniType::Boolean, 1, "", 0},
    {"PostmasterAsCCInNDR", IniType::Boolean, 1, "", 0},
    {"InboundPOP3StatusDSN", IniType::Boolean, 1, "", 0},
    {"SendLogFileTo", IniType::List, 0, "", kIniTrim},
    {"Interval", IniType::Integer, 60, "", 0},
    {"SMTPOutboundPort", IniType::Integer, 25, "", 0},
    {"POPInboundPort", IniType::Integer, 110, "", 0},
    {"InboundPOP3MaxConnections", IniType::Integer, 0, "", 0},
    {"SMTPOutboundNormalExpire", IniType::Integer, 259200, "", 0},
    {"SMTPOutboundNormalNextTry", IniType::Integer, 900, "", 0},
    {"CheckBeforeFileOpen", IniType::Boolean, 0, "", 0},
    {"SmartHost", IniType::String, 0, "localhost", kIniTrim},
    {"OutboundExchAuth", IniType::Boolean, 0, "", 0},
    {"OutboundExchAuthUser", IniType::String, 0, "", 0},
    {"OutboundExchAuthPassword", IniType::String, 0, "", 0},
    {"OutboundESMTP", IniType::Boolean, 1, "", 0},
    {"OutboundSMTPNeedDSNNever", IniType::Integer, 0, "", 0},
    {"CheckExchange", IniType::Boolean, 1, "", 0},
    {"MsgSizeLimit", IniType::Integer, 0, "", 0},
    {"ExchInboundDomain", IniType::List, 0, "", kIniLowerCase | kIniTrim},
    {"DialUpOutbound", IniType::Boolean, 0, "", 0},
    {"DialUpOutboundPhoneBook", IniType::String, 0, "", 0},
    {"DialUpOutboundUser", IniType::String, 0, "", 0},
    {"DialUpOutboundPassword", IniType::String, 0, "", 0},
    {"DialUpOutboundDomain", IniType::String, 0, "", 0},
    {"DialUpOutboundKeepOpen", IniType::Integer, 0, "", 0},
    {"SOCKSHostTyp", IniType::Integer, 0, "", 0},
    {"SOCKSHost", IniType::String, 0, "", 0},
    {"SOCKSUser", IniType::String, 0, "", 0},
    {"SOCKSPassword", IniType::String, 0, "", 0},
    {"InboundAPOP", IniType::Boolean, 0, "", 0},
    {"InboundCAPA", IniType::Boolean, 1, "", 0},
    {"InboundPOP3HidePassword", IniType::Boolean, 1, "", 0},
    {"ScanInboundMessages", IniType::Boolean, 0, "", 0},
    {"VirusScanner", IniType::String, 0, "", 0},
    {"VirusScannerPara", IniType::String, 0, "", 0},
    {"VirusScannerTyp", IniType::Integer, 0, "", 0},
    {"VirusScannerNewConsole", IniType::Boolean, 0, "", 0},
    {"VirusScannerExitCode", IniType::String, 0, "X", 0},
    {"VirusPostScanner", IniType::String, 0, "", 0},
    {"VirusPostScannerPara", IniType::String, 0, "", 0},
    {"VirusPostScannerNewConsole", IniType::Boolean, 0, "", 0},
    {"VirusPostScannerUseLine", IniType::Integer, 0, "", 0},
    {"DebugVirusScanner", IniType::Boolean, 0, "", 0},
    {"WakeUpRouter", IniType::Integer, 0, "", 0},
    {"WakeUpRouterIPAddress", IniType::String, 0, "", 0},
    {"LeaveMessagesOnServer", IniType::Boolean, 0, "", 0},
    {"InboundPOP3DontDeleteOnError", IniType::Boolean, 0, "", 0},
    {"InboundPOP3MaxMessages", IniType::Integer, 10, "", 0},
    {"InboundPOP3MaxMessageSize", IniType::Integer, 0, "", 0},
    {"CheckDupPOP3Msg", IniType::Boolean, 1, "", 0},
    {"POPDecodeTyp", IniType::Integer, 3, "", 0},
    {"POPDecodeCustomField", IniType::String, 0, "", 0},
    {"POPDecodeAddCustomField", IniType::String, 0, "", 0},
    {"POPDecodeAddField", IniType::List, 0, "", 0},
    {"POPDecodeRecvForPos", IniType::Integer, 1, "", 0},
    {"Pickup", IniType::Boolean, 0, "", 0},
    {"PickupPath", IniType::String, 0, "", 0},
    {"PickupEvery", IniType::Integer, 60, "", 0},
    {"ExchVerifyTyp", IniType::Integer, 0, "", 0},
    {"CacheVRFY", IniType::Boolean, 1, "", 0},
    {"StartupDelay", IniType::Integer, 0, "", 0},
    {"ThreadStartupDelay", IniType::Integer, 10, "", 0},
    {"BreakTime", IniType::String, 0, "", 0},
    {"BreakRelative", IniType::String, 0, "", 0},
    {"ScreenMono", IniType::Boolean, 0, "", 0},
    {"IniWizard", IniType::Boolean, 1, "", 0},
    {"TLSTrustFile", IniType::String, 0, "", 0},
    {"OutboundSTARTTLS", IniType::Integer, 1, "", 0},
};
static_assert(std::size(kServerKeys) == kServerKeyCount,
              "every ServerKey needs exactly one row of the key table");

}  // namespace

std::span<const ServerKeyDefinition> serverKeyTable() { return kServerKeys; }

const ServerKeyDefinition& serverKeyDefinition(ServerKey key) {
  const int index = static_cast<int>(key);
  assert(index >= 0 && index < kServerKeyCount);
  return kServerKeys[index];
}

void registerServerKeys(IniStore& store) {
  for (const ServerKeyDefinition& key : kServerKeys) {
    switch (key.type) {
      case IniType::String:
        store.registerString(key.name, key.stringDefault, key.flags);
        break;
      case IniType::Integer:
        store.registerInteger(key.name, key.numberDefault);
        break;
      case IniType::Boolean:
        store.registerBoolean(key.name, key.numberDefault != 0);
        break;
      case IniType::List:
        store.registerList(key.name, key.flags);
        break;
      case IniType::None:
      case IniType::LongInteger:
        // The server registers no such key.
        assert(false);
        break;
    }
  }
}

}  // namespace quillet
