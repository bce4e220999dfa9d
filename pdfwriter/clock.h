// The wall clock and the file identifier's entropy, both replaceable by tests so that
// documents can be compared byte for byte.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace pdf {

std::time_t Now();

// PDF date text "D:YYYYMMDDHHmmSS" and the local zone's offset from UTC ("Z", "+01'00'").
std::string PdfDate(std::time_t t);

// Test hooks: a fixed clock, and a fixed file identifier for unencrypted files.
// Pass an empty function / null to restore the real ones.
void SetClockForTesting(std::function<std::time_t()> clock);
void SetFileIdForTesting(const uint8_t* id16);
const uint8_t* FileIdForTesting();

} // namespace pdf
