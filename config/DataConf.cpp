// DataConf: the record layout of DATACONF.DAT and its first blank record.
#include "config/DataConf.h"

namespace quillet {
namespace {

constexpr RecordField kFields[] = {
    DataConf::kMark,   DataConf::kText,   DataConf::kField1, DataConf::kField2,
    DataConf::kField3, DataConf::kField4, DataConf::kField5, DataConf::kReserved,
};
constexpr RecordLayout kLayout(DataConf::kRecordLength, kFields);
static_assert(kLayout.isConsistent(), "DATACONF.DAT fields must tile the record");

}  // namespace

const RecordLayout& DataConf::recordLayout() { return kLayout; }

DataConf::DataConf(const Str& fileName) : RecordFile(fileName, kLayout, false) {}

bool DataConf::ensureFirstRecord() {
  if (!isOpen()) return false;
  if (recordCount() > 0) return true;
  // Written at load rather than at close, while the loader still holds the data lock.
  return appendBlank() && recordCount() > 0;
}

}  // namespace quillet
