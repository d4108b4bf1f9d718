// Arbitrary bytes as one cabinet: every name the library opens is served the same bytes, so
// that requests for further cabinets are exercised too.
#include <cstdint>
#include <vector>

#include "cabinet/MemoryCabinets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::vector<fuzzcab::TMemoryCabinet> Cabinets = {{"fuzz.cab", Data, Size}};
  fuzzcab::ExtractFromMemory(Cabinets, 0, true);
  return 0;
}
