// DataUser: the record layout of DataUser.DAT.
#include "config/DataUser.h"

namespace quillet {
namespace {

constexpr RecordField kFields[] = {
    DataUser::kAddress,
    DataUser::kName,
    DataUser::kReserved,
    DataUser::kImported,
};
constexpr RecordLayout kLayout(DataUser::kRecordLength, kFields);
static_assert(kLayout.isConsistent(), "DataUser.DAT fields must tile the record");

}  // namespace

const RecordLayout& DataUser::recordLayout() { return kLayout; }

DataUser::DataUser(const Str& fileName) : RecordFile(fileName, kLayout, true) {}

}  // namespace quillet
