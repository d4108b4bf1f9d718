// The resource writer on images laid out like a linker's: without resources, with the
// resource section last, before the relocations, before a section that must not move; the
// reader on damaged and foreign files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

#include "pe/PeResources.h"
#include "shared/PeTestImage.h"

namespace {

using setup::pe::EPeError;
using setup::pe::TPeImage;
using setup::pe::TResourceName;
using setup::pe::TResourceTable;

std::string Pattern(std::size_t Size, int Seed) {
  std::string S(Size, '\0');
  for (std::size_t i = 0; i < Size; ++i) S[i] = char((i * 31 + Seed * 7 + i / 251) & 0xFF);
  return S;
}

// The resources a setup program carries, in the shapes a stub has them: numbered types with
// numbered names (manifest, icon), named types and names, two languages of one name.
TResourceTable StubLikeTable(std::size_t CabinetSize) {
  TResourceTable T;
  auto Add = [&](TResourceName Type, TResourceName Name, std::uint16_t Language, std::string Data) {
    T.Items.push_back({std::move(Type), std::move(Name), Language, 0, std::move(Data)});
  };
  Add(TResourceName::FromId(24), TResourceName::FromId(1), 1033, "<assembly/>");
  Add(TResourceName::FromId(10), TResourceName::FromText("CABINET"), 1033, Pattern(CabinetSize, 1));
  Add(TResourceName::FromId(2), TResourceName::FromText("BANNER1"), 1033, Pattern(999, 2));
  Add(TResourceName::FromId(3), TResourceName::FromId(1), 1033, Pattern(40, 3));
  Add(TResourceName::FromId(3), TResourceName::FromId(1), 1049, Pattern(41, 4));
  Add(TResourceName::FromText("AVI"), TResourceName::FromText("CLIP"), 0, Pattern(5, 5));
  return T;
}

using TKey = std::tuple<std::string, std::string, std::uint16_t, std::string>;
std::set<TKey> Keys(const TResourceTable& T) {
  std::set<TKey> Out;
  for (const auto& R : T.Items) Out.insert({R.Type.Display(), R.Name.Display(), R.Language, R.Data});
  return Out;
}

std::string SectionBytes(const TPeImage& Image, const std::string& Name) {
  for (const auto& S : Image.Sections())
    if (S.Name == Name) return Image.Bytes().substr(S.PointerToRawData, S.VirtualSize);
  return "<missing>";
}

// What every rewritten image must satisfy whatever the layout: it parses, sections follow
// each other without overlap in memory and in the file, SizeOfImage covers the last, the
// checksum is right and the resources read back.
void ExpectSound(const std::string& Bytes, const TResourceTable& Expected) {
  TPeImage Image(Bytes);
  std::uint64_t VirtualEnd = 0, RawEnd = 0;
  for (const auto& S : Image.Sections()) {
    EXPECT_GE(S.VirtualAddress, VirtualEnd) << S.Name;
    EXPECT_EQ(S.VirtualAddress % 0x1000, 0u) << S.Name;
    EXPECT_EQ(S.PointerToRawData % 0x200, 0u) << S.Name;
    EXPECT_GE(S.PointerToRawData, RawEnd) << S.Name;
    VirtualEnd = (std::uint64_t(S.VirtualAddress) + S.VirtualSize + 0xFFF) / 0x1000 * 0x1000;
    RawEnd = std::uint64_t(S.PointerToRawData) + S.SizeOfRawData;
  }
  EXPECT_EQ(petest::Get32(Bytes, petest::cOptional + 56), VirtualEnd);
  EXPECT_EQ(Image.StoredChecksum(), TPeImage::ComputeChecksum(Bytes, Image.ChecksumOffset()));
  EXPECT_EQ(Keys(Image.ReadResources()), Keys(Expected));
}

TEST(PeResourceWriter, AddsAResourceSectionToAProgramWithout) {
  const std::string Code = Pattern(3000, 9), Data = Pattern(100, 8);
  const std::string Original = petest::BuildImage({{".text", Code, petest::cCode}, {".data", Data}});
  TPeImage Image(Original);
  EXPECT_TRUE(Image.ReadResources().Items.empty());
  const auto Table = StubLikeTable(5000);
  const std::string Out = Image.WithResources(Table);
  ExpectSound(Out, Table);
  TPeImage Result(Out);
  ASSERT_EQ(Result.Sections().size(), 3u);
  EXPECT_EQ(Result.Sections()[2].Name, ".rsrc");
  EXPECT_EQ(Result.ResourceDirectoryRva(), Result.Sections()[2].VirtualAddress);
  EXPECT_EQ(SectionBytes(Result, ".text"), Code);
  EXPECT_EQ(SectionBytes(Result, ".data"), Data);
  // SizeOfInitializedData counts the new section.
  EXPECT_EQ(petest::Get32(Out, petest::cOptional + 8), Result.Sections()[2].SizeOfRawData);
}

TEST(PeResourceWriter, RoundTripsAndKeepsTheDirectoryOrderTheLoaderSearches) {
  const auto Table = StubLikeTable(70000);
  const std::string First = TPeImage(petest::BuildImage({{".text", "x", petest::cCode}})).WithResources(Table);
  const TResourceTable Read = TPeImage(First).ReadResources();
  EXPECT_EQ(Keys(Read), Keys(Table));
  // Written again unchanged, the file is the same: nothing depends on the order read.
  EXPECT_EQ(TPeImage(First).WithResources(Read), First);
  // The reader lists entries in directory order: named entries first, sorted, then numbers
  // ascending, because the system looks them up by binary search.
  std::vector<std::string> Types;
  for (const auto& R : Read.Items)
    if (Types.empty() || Types.back() != R.Type.Display()) Types.push_back(R.Type.Display());
  EXPECT_EQ(Types, (std::vector<std::string>{"AVI", "#2", "#3", "#10", "#24"}));
  const auto* Icon = Read.Find(TResourceName::FromId(3), TResourceName::FromId(1));
  ASSERT_NE(Icon, nullptr);
  EXPECT_EQ(Icon->Language, 1033);
}

TEST(PeResourceWriter, SetReplacesEveryLanguageAndKeepsTheFirstOnesLanguage) {
  auto Table = StubLikeTable(10);
  Table.Set(TResourceName::FromId(3), TResourceName::FromId(1), "new");
  Table.Set(TResourceName::FromId(10), TResourceName::FromText("script"), "text");
  // A name taken from the table itself stays valid while the table changes.
  Table.Set(Table.Items.front().Type, Table.Items.front().Name, "<assembly version='2'/>");
  const std::string Out = TPeImage(petest::BuildImage({{".text", "x", petest::cCode}})).WithResources(Table);
  const auto Read = TPeImage(Out).ReadResources();
  int Icons = 0;
  for (const auto& R : Read.Items)
    if (R.Type == TResourceName::FromId(3)) {
      ++Icons;
      EXPECT_EQ(R.Language, 1033);
      EXPECT_EQ(R.Data, "new");
    }
  EXPECT_EQ(Icons, 1);
  // Names are stored in upper case, the form the system searches for.
  const auto* Script = Read.Find(TResourceName::FromId(10), TResourceName::FromText("SCRIPT"));
  ASSERT_NE(Script, nullptr);
  EXPECT_EQ(Script->Data, "text");
  EXPECT_EQ(Script->Language, 0);
  const auto* Manifest = Read.Find(TResourceName::FromId(24), TResourceName::FromId(1));
  ASSERT_NE(Manifest, nullptr);
  EXPECT_EQ(Manifest->Data, "<assembly version='2'/>");
  EXPECT_EQ(Read.Items.size(), Table.Items.size());
}

TEST(PeResourceWriter, GrowsTheLastSectionInPlaceAndShrinksItAgain) {
  const std::string Code = Pattern(5000, 1);
  const std::string Base = petest::BuildImage({{".text", Code, petest::cCode}, {".rsrc", "", petest::cResources, true}});
  const auto Big = StubLikeTable(300000);
  const std::string Grown = TPeImage(Base).WithResources(Big);
  ExpectSound(Grown, Big);
  TPeImage G(Grown);
  ASSERT_EQ(G.Sections().size(), 2u);
  EXPECT_EQ(G.Sections()[1].VirtualAddress, TPeImage(Base).Sections()[1].VirtualAddress);
  EXPECT_EQ(SectionBytes(G, ".text"), Code);
  const auto Small = StubLikeTable(10);
  const std::string Shrunk = G.WithResources(Small);
  ExpectSound(Shrunk, Small);
  EXPECT_LT(Shrunk.size(), 20000u);
}

TEST(PeResourceWriter, MovesTheRelocationsUpWhenTheResourcesGrow) {
  const std::string Overlay = "trailing data a linker or a tool left behind";
  const std::string Base = petest::BuildImage({{".text", Pattern(3000, 1), petest::cCode},
                                               {".rsrc", "", petest::cResources, true},
                                               {".reloc", "", petest::cRelocations, false, true}},
                                              Overlay);
  TPeImage Before(Base);
  const std::string Relocations = SectionBytes(Before, ".reloc");
  const auto Table = StubLikeTable(100000);
  const std::string Out = Before.WithResources(Table);
  ExpectSound(Out, Table);
  TPeImage After(Out);
  ASSERT_EQ(After.Sections().size(), 3u);
  EXPECT_EQ(After.Sections()[1].Name, ".rsrc");
  EXPECT_GT(After.Sections()[2].VirtualAddress, Before.Sections()[2].VirtualAddress);
  EXPECT_EQ(SectionBytes(After, ".reloc"), Relocations);
  // The relocation directory follows its section; the overlay stays at the end.
  EXPECT_EQ(petest::Get32(Out, petest::cDirectories + 40), After.Sections()[2].VirtualAddress);
  EXPECT_EQ(Out.substr(Out.size() - Overlay.size()), Overlay);
}

TEST(PeResourceWriter, Handles64BitImagesAlike) {
  const std::string Base = petest::BuildImage({{".text", Pattern(3000, 1), petest::cCode},
                                               {".rsrc", "", petest::cResources, true},
                                               {".reloc", "", petest::cRelocations, false, true}},
                                              {}, true);
  TPeImage Before(Base);
  EXPECT_TRUE(Before.Is64());
  const auto Table = StubLikeTable(100000);
  const std::string Out = Before.WithResources(Table);
  ExpectSound(Out, Table);
  TPeImage After(Out);
  EXPECT_EQ(After.ResourceDirectoryRva(), After.Sections()[1].VirtualAddress);
  EXPECT_EQ(petest::Get32(Out, petest::cDirectories64 + 40), After.Sections()[2].VirtualAddress);
  EXPECT_EQ(petest::Get32(Out, petest::cDirectories64 + 20), After.Sections()[1].VirtualSize);
}

TEST(PeResourceWriter, AppendsANewSectionWhenWhatFollowsMustNotMove) {
  const std::string Base = petest::BuildImage({{".text", Pattern(3000, 1), petest::cCode},
                                               {".rsrc", "", petest::cResources, true},
                                               {".data", Pattern(700, 2), petest::cData}});
  TPeImage Before(Base);
  const auto Table = StubLikeTable(20000);
  const std::string Out = Before.WithResources(Table);
  ExpectSound(Out, Table);
  TPeImage After(Out);
  ASSERT_EQ(After.Sections().size(), 4u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(After.Sections()[i].VirtualAddress, Before.Sections()[i].VirtualAddress);
    EXPECT_EQ(SectionBytes(After, Before.Sections()[i].Name), SectionBytes(Before, Before.Sections()[i].Name));
  }
  EXPECT_EQ(After.ResourceDirectoryRva(), After.Sections()[3].VirtualAddress);
  // Resources small enough for the old section's slot stay in it.
  const auto Small = StubLikeTable(100);
  TPeImage Kept(Before.WithResources(Small));
  EXPECT_EQ(Kept.Sections().size(), 3u);
  EXPECT_EQ(Kept.ResourceDirectoryRva(), Before.Sections()[1].VirtualAddress);
  EXPECT_EQ(Keys(Kept.ReadResources()), Keys(Small));
}

TEST(PeResourceWriter, DropsASignatureThatNoLongerCertifiesTheFile) {
  std::string Signed = petest::BuildImage({{".text", "x", petest::cCode}}, std::string(64, 'S'));
  petest::Set32(Signed, petest::cDirectories + 32, std::uint32_t(Signed.size() - 64));
  petest::Set32(Signed, petest::cDirectories + 36, 64);
  const std::string Out = TPeImage(Signed).WithResources(StubLikeTable(10));
  EXPECT_EQ(petest::Get32(Out, petest::cDirectories + 32), 0u);
  EXPECT_EQ(petest::Get32(Out, petest::cDirectories + 36), 0u);
  EXPECT_EQ(Out.find(std::string(64, 'S')), std::string::npos);
}

TEST(PeReader, RefusesForeignAndTruncatedFiles) {
  EXPECT_THROW(TPeImage(""), EPeError);
  EXPECT_THROW(TPeImage("\x7F" "ELF and then some bytes of a Linux program, long enough for a header........"), EPeError);
  EXPECT_THROW(TPeImage(std::string("MZ") + std::string(200, '\0')), EPeError);  // a DOS program
  const std::string Good = TPeImage(petest::BuildImage({{".text", Pattern(3000, 1), petest::cCode}}))
                               .WithResources(StubLikeTable(2000));
  // Cut anywhere, the file is refused: its last section would run past the end.
  for (std::size_t Length = 0; Length < Good.size(); Length += 7) {
    const std::string Cut = Good.substr(0, Length);
    EXPECT_THROW(TPeImage(Cut).ReadResources(), EPeError) << Length;
  }
  std::string BadMagic = Good;
  petest::Set16(BadMagic, petest::cOptional, 0x107);
  EXPECT_THROW(TPeImage{BadMagic}, EPeError);
  // Sections whose bytes overlap cannot be moved one at a time.
  std::string Overlap = Good;
  petest::Set32(Overlap, petest::cSectionTable + 16, 0x1000);  // .text's raw size reaches into .rsrc
  EXPECT_THROW(TPeImage{Overlap}, EPeError);
  std::string Beyond = Good;
  petest::Set32(Beyond, petest::cSectionTable + 40 + 16, 0x100000);  // raw size of .rsrc
  EXPECT_THROW(TPeImage{Beyond}, EPeError);
}

TEST(PeReader, RefusesResourceTreesThatLoopOrPointOutside) {
  const std::string Good = TPeImage(petest::BuildImage({{".text", "x", petest::cCode}})).WithResources(StubLikeTable(10));
  TPeImage Image(Good);
  const std::size_t Root = Image.Sections().back().PointerToRawData;
  // The first type's entry points back at the root: the walk must end, not recurse forever.
  std::string Loop = Good;
  petest::Set32(Loop, Root + 16 + 4, 0x80000000u);
  EXPECT_THROW(TPeImage(Loop).ReadResources(), EPeError);
  std::string Outside = Good;
  petest::Set32(Outside, Root + 16 + 4, 0x80000000u | 0x7FFFFF00u);
  EXPECT_THROW(TPeImage(Outside).ReadResources(), EPeError);
  std::string Counts = Good;
  petest::Set16(Counts, Root + 14, 0xFFFF);
  EXPECT_THROW(TPeImage(Counts).ReadResources(), EPeError);
}

TEST(Bitmaps, AcceptsWhatWindowsLoadsAndRefusesTheRest) {
  std::ifstream In(std::string(SETUP_ROOT) + "/examples/demo/logo.bmp", std::ios::binary);
  const std::string Logo((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  ASSERT_GT(Logo.size(), 54u);
  EXPECT_EQ(setup::pe::BitmapResourceFromFile(Logo), Logo.substr(14));
  EXPECT_THROW(setup::pe::BitmapResourceFromFile("just some text, not a picture at all"), EPeError);
  EXPECT_THROW(setup::pe::BitmapResourceFromFile(Logo.substr(0, Logo.size() / 2)), EPeError);
  std::string Depth = Logo;
  petest::Set16(Depth, 28, 7);
  EXPECT_THROW(setup::pe::BitmapResourceFromFile(Depth), EPeError);
  std::string Jpeg = Logo;
  petest::Set32(Jpeg, 30, 4);  // BI_JPEG
  EXPECT_THROW(setup::pe::BitmapResourceFromFile(Jpeg), EPeError);
  // The demo picture is run-length compressed: its pixels' size is read from the header.
  ASSERT_EQ(petest::Get32(Logo, 30), 1u);  // BI_RLE8
  std::string NoSize = Logo;
  petest::Set32(NoSize, 34, 0);
  EXPECT_THROW(setup::pe::BitmapResourceFromFile(NoSize), EPeError);
  EXPECT_THROW(setup::pe::BitmapResourceFromFile(Logo.substr(0, Logo.size() - 1)), EPeError);
  // An uncompressed 2 x 2 picture of 24 bits: rows of 6 bytes padded to 8.
  std::string Plain = "BM" + std::string(12, '\0');
  petest::Set32(Plain, 10, 54);
  Plain += std::string(40, '\0');
  petest::Set32(Plain, 14, 40);
  petest::Set32(Plain, 18, 2);
  petest::Set32(Plain, 22, 2);
  petest::Set16(Plain, 26, 1);
  petest::Set16(Plain, 28, 24);
  Plain += std::string(16, '\x7F');
  EXPECT_EQ(setup::pe::BitmapResourceFromFile(Plain), Plain.substr(14));
  EXPECT_THROW(setup::pe::BitmapResourceFromFile(Plain.substr(0, Plain.size() - 1)), EPeError);
}

}  // namespace
