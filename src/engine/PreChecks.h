#pragma once
// What the worker checks before the installation changes anything: the chain of the cabinets
// at hand, the room on the volumes that receive files, and an uninstaller of the earlier
// installation still at work. The decisions are here; the worker's checks that gather the facts
// through IInstallSystem (TExecutor::CheckCabinetsAtHand and the others) are in PreChecks.cpp.
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

// The set fields of a cabinet's header.
struct TCabinetHeader {
  int SetId = 0;
  int Number = 0;
  std::string Previous, Next;  // the neighbours' names as this cabinet gives them, or empty
};
// Reads the header from a cabinet's first bytes; false when they are not a cabinet's header
// (also when they end before its set fields do).
bool ReadCabinetHeader(std::string_view Bytes, TCabinetHeader& Header);

enum TCabinetVerdict { cvGood, cvUnreadable, cvOtherSet, cvOutOfOrder, cvDigestMismatch };

// The order of a cabinet set as the headers of the cabinets accepted so far tell it: the set
// ID of the first, and the name and number of the successor the last one names.
class TCabinetChain {
 public:
  // The verdict on the cabinet found under Name (the first one checked sets the set).
  TCabinetVerdict Check(const std::string& Name, const TCabinetHeader& Header) const;
  // Takes a cabinet that passed Check: its successor is expected next.
  void Accept(const std::string& Name, const TCabinetHeader& Header);
  // The text that refuses the cabinet Name found in Folder.
  std::string Refusal(TCabinetVerdict Verdict, const std::string& Name, const std::string& Folder,
                      const TCabinetHeader& Header) const;

 private:
  bool FHaveSet = false;
  int FSetId = 0;
  int FNextNumber = 0;
  std::string FNext;  // upper-case: the successor expected
};

// Room on one volume: what the run writes there and what the files it replaces hold now.
struct TVolumeUse {
  std::uint64_t Free = 0;
  std::int64_t Written = 0, Replaced = 0;
};
// The bytes a volume must have free: the growth (never below zero) and a margin of 5% of what
// is written, at least 4 MB, for the uninstall list, the part file beside a replaced file and
// the uninstaller.
std::uint64_t SpaceNeeded(const TVolumeUse& Use);
// The text of a shortfall on Volume, in MB (rounded up), or empty when there is room.
std::string SpaceShortfall(const std::string& Volume, const TVolumeUse& Use);

}  // namespace setup
