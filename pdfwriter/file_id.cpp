// The file identifier of the trailer.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "assembly_internal.h"
#include "clock.h"

namespace pdf {

void ComputeFileId(DocumentData& d, int64_t xrefOffset, const std::string& path, uint8_t id[16]) {
  if (const uint8_t* fixed = FileIdForTesting()) {
    std::copy(fixed, fixed + 16, id);
    return;
  }
  uint8_t x[4];
  for (int i = 0; i < 4; ++i)
    x[i] = static_cast<uint8_t>(xrefOffset >> (8 * i));
  d.idDigest.Update(x, 4);
  // What makes this run unique: the moment, the process, the record's address, chance.
  struct {
    long long nanos;
    long pid;
    const void* record;
    unsigned random;
  } unique{std::chrono::high_resolution_clock::now().time_since_epoch().count(),
           static_cast<long>(getpid()), &d, std::random_device{}()};
  d.idDigest.Update(&unique, sizeof unique);
  if (path != "-") d.idDigest.Update(path.data(), path.size());
  d.idDigest.Final(id);
}

} // namespace pdf
