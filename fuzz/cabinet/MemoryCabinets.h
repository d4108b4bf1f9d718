#pragma once
// The cabinet library run through FDICopy on cabinets held in memory. Every file the library
// opens is looked up by name among the given cabinets; outputs are checked and discarded.
// Whatever the input, the library must not crash, hang, leak, read or write out of bounds,
// misuse a handle, ask for an unbounded allocation, report an error outside the FDI range, or
// close a file it delivered with another size than it announced.
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcab {

struct TMemoryCabinet {
  std::string Name;  // as the library asks for it (folder and name joined)
  const std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
};

// Extracts Cabinets[First] (further cabinets are the set it may continue into). With
// ServeAnyName every name the library opens is served Cabinets[First], so that requests for
// further cabinets are exercised by a single input too.
void ExtractFromMemory(const std::vector<TMemoryCabinet>& Cabinets, std::size_t First, bool ServeAnyName);

// Splits a set of cabinets written one after another at each cabinet signature that follows
// ("MSCF" and four zero bytes), into at most MaxParts parts; the last part keeps the rest.
std::vector<TMemoryCabinet> SplitSet(const std::uint8_t* Data, std::size_t Size, std::size_t MaxParts);

// The name of cabinet Number (from 1) of a split set: "setup1.cab", "setup2.cab", ...
std::string SetCabinetName(std::size_t Number);

}  // namespace fuzzcab
