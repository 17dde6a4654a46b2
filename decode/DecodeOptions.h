// What the caller of the message parser decides: the custom header field names that hold
// recipients, whether the envelope-type fields, Received "for" clauses and custom fields
// are read, whether the body is decoded into attachment files, and where those go.
// Filled by the caller from its settings; the parser reads no settings file itself.
#pragma once

#include <cstdint>

#include "base/ArrayTmpl.h"
#include "base/Str.h"

namespace quillet {

struct DecodeOptions {
  // Bit of flags: read Resent-To, the Received "for" clauses and the custom fields (the
  // decode thread always sets it).
  static constexpr uint32_t kEnvelopeFields = 1;

  ArrayStr customFieldNames;      // matched case-insensitively against header field names
  bool writeAttachments = false;  // decode the body into files (only for virus scanning)
  uint32_t flags = 0;
  Str tempDirectory;  // existing directory for the part files (OEM); empty = "."

  bool envelopeFields() const { return (flags & kEnvelopeFields) != 0; }
};

}  // namespace quillet
