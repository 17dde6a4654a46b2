// Reads the fields of a message's unfolded header lines into the parse result: Date,
// Subject (RFC 2047), To, Cc, From, Sender, Reply-To, Return-Path, the envelope-type fields
// (rewritten, see AddressParser.h), Message-ID, Precedence, the Received fields with their
// "for" clauses, and the caller's custom fields. Each line is handled by the first field
// rule it matches. Pure: lines in, result fields out.
#pragma once

#include <string>
#include <vector>

#include "decode/DecodeOptions.h"
#include "decode/ParseResult.h"

namespace quillet {

void readHeaderFields(const std::vector<std::string>& lines, const DecodeOptions& options,
                      ParseResult& result);

}  // namespace quillet
