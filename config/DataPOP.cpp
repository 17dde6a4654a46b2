// DataPOP: the record layout of DataPOP.DAT and its connection-security field.
#include "config/DataPOP.h"

namespace quillet {
namespace {

constexpr RecordField kFields[] = {
    DataPOP::kUser,     DataPOP::kPassword, DataPOP::kHost,     DataPOP::kRouteTo, DataPOP::kFrom,
    DataPOP::kUntil,    DataPOP::kEvery,    DataPOP::kWeekdays, DataPOP::kComment, DataPOP::kPort,
    DataPOP::kDisabled, DataPOP::kSecurity, DataPOP::kReserved,
};
constexpr RecordLayout kLayout(DataPOP::kRecordLength, kFields);
static_assert(kLayout.isConsistent(), "DataPOP.DAT fields must tile the record");

}  // namespace

const RecordLayout& DataPOP::recordLayout() { return kLayout; }

DataPOP::DataPOP(const Str& fileName) : RecordFile(fileName, kLayout, true) {}

ConnectionSecurity DataPOP::security() const {
  Str mark = readText(kSecurity.offset, kSecurity.width);
  switch (mark.at(0)) {
    case 'T':
    case 't':
      return ConnectionSecurity::Tls;
    case 'S':
    case 's':
      return ConnectionSecurity::StartTls;
    default:
      return ConnectionSecurity::Plain;
  }
}

void DataPOP::setSecurity(ConnectionSecurity security) {
  const char* mark = " ";
  switch (security) {
    case ConnectionSecurity::Plain:
      mark = " ";
      break;
    case ConnectionSecurity::Tls:
      mark = "T";
      break;
    case ConnectionSecurity::StartTls:
      mark = "S";
      break;
  }
  writeText(kSecurity.offset, kSecurity.width, mark);
}

}  // namespace quillet
