#include "PreChecks.h"

#include "cabinet/CabinetFormat.h"
#include "system/Errors.h"
#include "system/Messages.h"
#include "system/Paths.h"
#include "system/Text.h"

namespace setup {
namespace {

constexpr std::uint64_t cMegabyte = 1024 * 1024;
constexpr std::uint64_t cLeastMargin = 4 * cMegabyte;

// A zero-terminated name at At; false when it does not end within Bytes.
bool TakeName(std::string_view Bytes, std::size_t& At, std::string& Name) {
  const std::size_t End = Bytes.find('\0', At);
  if (End == std::string_view::npos || End - At > cabfmt::cMaxNameBytes) return false;
  Name.assign(Bytes.substr(At, End - At));
  At = End + 1;
  return true;
}

std::string Megabytes(std::uint64_t Bytes) { return std::to_string((Bytes + cMegabyte - 1) / cMegabyte); }

}  // namespace

bool ReadCabinetHeader(std::string_view Bytes, TCabinetHeader& Header) {
  using namespace cabfmt;
  const auto* P = reinterpret_cast<const std::uint8_t*>(Bytes.data());
  if (Bytes.size() < header::cSize || Bytes.compare(0, 4, std::string_view("MSCF", 4)) != 0) return false;
  const std::uint16_t Flags = Get16(P + header::cFlags);
  Header.SetId = Get16(P + header::cSetId);
  Header.Number = Get16(P + header::cCabinetIndex);
  Header.Previous.clear();
  Header.Next.clear();
  std::size_t At = header::cSize;
  if (Flags & cFlagReservePresent) {
    if (Bytes.size() < At + reserve::cSize) return false;
    At += reserve::cSize + Get16(P + header::cSize + reserve::cHeaderReserve);
  }
  std::string Disk;
  if ((Flags & cFlagPrevCabinet) && !(TakeName(Bytes, At, Header.Previous) && TakeName(Bytes, At, Disk))) return false;
  if ((Flags & cFlagNextCabinet) && !(TakeName(Bytes, At, Header.Next) && TakeName(Bytes, At, Disk))) return false;
  return true;
}

TCabinetVerdict TCabinetChain::Check(const std::string& Name, const TCabinetHeader& Header) const {
  if (!FHaveSet) return cvGood;
  if (Header.SetId != FSetId) return cvOtherSet;
  // Found under the name its predecessor gives, it carries the number after that one's. (The
  // predecessor's name it gives itself is not compared: packers write different things there.)
  if (UpperAscii(Name) == FNext && Header.Number != FNextNumber) return cvOutOfOrder;
  return cvGood;
}

void TCabinetChain::Accept(const std::string& Name, const TCabinetHeader& Header) {
  if (!FHaveSet) {
    FHaveSet = true;
    FSetId = Header.SetId;
  }
  FNext = UpperAscii(Header.Next);
  FNextNumber = Header.Number + 1;
}

std::string TCabinetChain::Refusal(TCabinetVerdict Verdict, const std::string& Name, const std::string& Folder,
                                   const TCabinetHeader& Header) const {
  if (Verdict != cvOtherSet && Verdict != cvOutOfOrder)
    return FormatMessage1(FormatMessage1(Msg::CabinetWrong, Name), NormalizeDir(Folder));
  const int Number = UpperAscii(Name) == FNext ? FNextNumber : Header.Number;
  std::string Text = Msg::CabinetOutOfSet;
  for (const std::string& Argument : {Name, std::to_string(Header.SetId), std::to_string(Header.Number),
                                      std::to_string(FSetId), std::to_string(Number)})
    Text = FormatMessage1(Text, Argument);
  return Text;
}

std::uint64_t SpaceNeeded(const TVolumeUse& Use) {
  const std::uint64_t Growth = Use.Written > Use.Replaced ? static_cast<std::uint64_t>(Use.Written - Use.Replaced) : 0;
  const std::uint64_t Margin = static_cast<std::uint64_t>(Use.Written > 0 ? Use.Written : 0) / 20;
  return Growth + (Margin > cLeastMargin ? Margin : cLeastMargin);
}

std::string SpaceShortfall(const std::string& Volume, const TVolumeUse& Use) {
  const std::uint64_t Needed = SpaceNeeded(Use);
  if (Needed <= Use.Free) return {};
  std::string Text = FormatMessage1(Msg::NoRoom, Volume);
  Text = FormatMessage1(Text, Megabytes(Needed));
  return FormatMessage1(Text, std::to_string(Use.Free / cMegabyte));
}

}  // namespace setup
