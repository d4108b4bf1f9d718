// A cabinet set: the input is the cabinets written one after another, split at each cabinet
// signature into setup1.cab, setup2.cab, ... (at most four). The set is extracted from its
// first cabinet, following its folders into the next ones, and then from its second, whose
// first files are continued from the first cabinet.
#include <cstdint>
#include <vector>

#include "cabinet/MemoryCabinets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::vector<fuzzcab::TMemoryCabinet> Cabinets = fuzzcab::SplitSet(Data, Size, 4);
  fuzzcab::ExtractFromMemory(Cabinets, 0, false);
  if (Cabinets.size() > 1) fuzzcab::ExtractFromMemory(Cabinets, 1, false);
  return 0;
}
