#include "PreChecks.h"

#include <algorithm>
#include <map>
#include <set>

#include "cabinet/CabinetFormat.h"
#include "engine/untThrd.h"
#include "system/Errors.h"
#include "system/Messages.h"
#include "system/Paths.h"
#include "system/Sha256.h"
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

// ---- The checks of the run --------------------------------------------------------------

void TExecutor::CheckCabinetsAtHand() {
  CurrentCabinet = "setup1.cab";
  FindVerifiedCabinet(false, true);
  if (!CabinetFound) throw EAbort();
  // Its successors, as far as they can be reached without asking: a later disk that is not
  // there yet is asked for (and checked) when the walk needs it.
  std::string Folder = Info.Environment.SetupDir;
  std::set<std::string> Seen{UpperAscii(CurrentCabinet)};
  for (std::string Name = FCheckedNext; !Name.empty(); Name = FCheckedNext) {
    if (!Seen.insert(UpperAscii(Name)).second) throw Exception(FormatMessage1(Msg::CabinetMetTwice, Name));
    if (!FSystem.FileExists(NormalizeDir(Folder) + Name)) {
      std::string Guess = Folder;
      if (!NextDiskDir(Guess) || !FSystem.FileExists(NormalizeDir(Guess) + Name)) break;
      Folder = Guess;
    }
    const std::string Refusal = CheckCabinet(Folder, Name);
    if (!Refusal.empty()) throw Exception(Refusal);
  }
}

std::string TExecutor::CheckCabinet(const std::string& Folder, const std::string& Name) {
  FCheckedNext.clear();
  const std::string Path = NormalizeDir(Folder) + Name;
  // Checked before and held since: nobody can have changed it.
  if (FHeldCabinets.count(UpperAscii(Path))) return {};
  TCabinetHeader Header;
  TCabinetVerdict Verdict = cvUnreadable;
  const std::intptr_t File = FSystem.HoldFile(Path);
  if (File != -1) {
    // One pass: the header from the first block, the digest over all of them.
    std::vector<char> Buffer(256 * 1024);
    unsigned Done = FSystem.ReadHeldFile(File, Buffer.data(), static_cast<unsigned>(Buffer.size()));
    if (ReadCabinetHeader(std::string_view(Buffer.data(), Done), Header)) Verdict = FChain.Check(Name, Header);
    if (Verdict == cvGood && !CabinetDigests.empty()) {
      TSha256 Hash;
      for (; Done != 0; Done = FSystem.ReadHeldFile(File, Buffer.data(), static_cast<unsigned>(Buffer.size())))
        Hash.Add(Buffer.data(), Done);
      const auto Expected = CabinetDigests.find(UpperAscii(Name));
      if (Expected == CabinetDigests.end() || Hash.Hex() != Expected->second) Verdict = cvDigestMismatch;
    }
  }
  if (Verdict != cvGood) {
    if (File != -1) FSystem.ReleaseFile(File);
    const std::string Refusal = FChain.Refusal(Verdict, Name, Folder, Header);
    FHost.Log("cabinet refused: " + Path + " (" + (Verdict == cvDigestMismatch ? "digest does not match" : Refusal) +
              ")");
    return Refusal;
  }
  FChain.Accept(Name, Header);
  FCheckedNext = Header.Next;
  // What was checked against its digest is what is extracted: it stays held for the run.
  if (CabinetDigests.empty())
    FSystem.ReleaseFile(File);
  else {
    FHeldCabinets.insert(UpperAscii(Path));
    FHeldFiles.push_back(File);
  }
  return {};
}

void TExecutor::CheckFreeSpace() {
  std::vector<std::pair<std::string, TVolumeUse>> Volumes;
  // Each folder is asked about once: its volume and its room, and whether it is there at all
  // (no file is there to be replaced in a folder that is not, as in a fresh installation, and
  // looking for each file costs more than all the rest of the check).
  struct TFolderFacts {
    bool Known = false, There = false;
    std::string Volume;
    std::uint64_t Free = 0;
  };
  std::map<std::string, TFolderFacts> Folders;
  for (const auto& File : Info.Files) {
    if (!IsExtracted(File->Group)) continue;
    std::vector<std::string> Targets = CopyTargets1C(Info, *File);
    Targets.push_back(File->FullPath);
    for (const std::string& Target : Targets) {
      auto [Facts, New] = Folders.try_emplace(ExtractFilePath(Target));
      auto& [Known, There, Volume, Free] = Facts->second;
      if (New) {
        Known = FSystem.VolumeSpace(Target, Volume, Free);
        There = FSystem.FolderExists(Facts->first);
      }
      if (!Known) continue;
      auto At = Volumes.begin();
      while (At != Volumes.end() && At->first != Volume) ++At;
      if (At == Volumes.end()) At = Volumes.insert(At, {Volume, TVolumeUse{Free, 0, 0}});
      At->second.Written += File->Size;
      if (There) At->second.Replaced += std::max<std::int64_t>(FSystem.FileSize(Target), 0);
    }
  }
  for (const auto& [Volume, Use] : Volumes) {
    const std::string Shortfall = SpaceShortfall(Volume, Use);
    if (Shortfall.empty()) continue;
    if (Unattended()) throw Exception(Shortfall);
    if (Ask(Msg::ApplicationTitle, Shortfall + Msg::GoOnQuestion, mbYesNo | mbIconExclamation | mbDefButton2) !=
        idYes) {
      Cancelled = true;
      return;
    }
  }
}

void TExecutor::CheckNoUninstallerAtWork() {
  if (!Info.UnInstall) return;
  // Its uninstaller may be at its question: removing the product under it would leave both
  // runs half done. The earlier installation that RemovePrevious removes is the one in this
  // list's folder, and its list is this one.
  while (FSystem.UninstallerWorksOn(UnInstall.ListFileName)) {
    const std::string Text =
        FormatMessage1(Msg::RemoverRunning, ExtractFilePath(UnInstall.ListFileName) + "UnInstall.exe");
    if (Unattended()) throw Exception(Text);
    if (Ask(Msg::ApplicationTitle, Text + Msg::RemoverWaitQuestion, mbRetryCancel | mbIconExclamation) != idRetry) {
      Cancelled = true;
      return;
    }
  }
}

}  // namespace setup
