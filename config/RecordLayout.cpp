// Blank records and record structure of a RecordLayout.
#include "config/RecordLayout.h"

#include <cstring>

namespace quillet {

void RecordLayout::fillBlank(char* record) const {
  std::memset(record, ' ', static_cast<size_t>(length_));
  restoreStructure(record);
}

void RecordLayout::restoreStructure(char* record) const {
  record[0] = kSeparator;
  record[kDeletedFlagOffset + 1] = kSeparator;
  for (const RecordField& field : fields_) record[field.offset + field.width] = kSeparator;
  record[length_ - 2] = '\r';
  record[length_ - 1] = '\n';
}

}  // namespace quillet
