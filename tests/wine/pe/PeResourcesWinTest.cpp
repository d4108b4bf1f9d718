// The resource writer judged by the system's loader: programs and libraries built by mingw
// (our setup stub among them) are given new and replaced resources, then mapped as images and
// every resource is looked up with FindResourceEx and compared byte for byte; the reader is
// checked against the same API on the unchanged files.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "pe/PeResources.h"
#include "system/Files.h"

namespace {

using setup::pe::TPeImage;
using setup::pe::TResource;
using setup::pe::TResourceName;
using setup::pe::TResourceTable;

struct TModule {
  HMODULE Handle;
  explicit TModule(HMODULE H) : Handle(H) {}
  ~TModule() {
    if (Handle) FreeLibrary(Handle);
  }
};

const wchar_t* Key(const TResourceName& Name, std::wstring& Storage) {
  if (Name.IsId) return MAKEINTRESOURCEW(Name.Id);
  Storage.assign(Name.Text.begin(), Name.Text.end());
  return Storage.c_str();
}

// The bytes the system gives for one resource, or "<missing>".
std::string SystemResource(HMODULE Module, const TResource& R) {
  std::wstring Type, Name;
  HRSRC Found = FindResourceExW(Module, Key(R.Type, Type), Key(R.Name, Name), R.Language);
  if (!Found) return "<missing>";
  HGLOBAL Loaded = LoadResource(Module, Found);
  const DWORD Size = SizeofResource(Module, Found);
  const void* Data = Loaded ? LockResource(Loaded) : nullptr;
  if (!Data) return Size == 0 ? std::string() : "<unloadable>";
  return std::string(static_cast<const char*>(Data), Size);
}

std::string Pattern(std::size_t Size, int Seed) {
  std::string S(Size, '\0');
  for (std::size_t i = 0; i < Size; ++i) S[i] = char((i * 13 + Seed + i / 509) & 0xFF);
  return S;
}

std::wstring Wide(const std::string& Path) { return setup::PathFromUtf8(Path).wstring(); }

class PeResourcesWin : public ::testing::TestWithParam<const char*> {};

TEST_P(PeResourcesWin, ReaderAgreesWithTheSystemAndRewrittenResourcesLoadAsImage) {
  const std::string Path = GetParam();
  const std::string Original = setup::LoadBytesFromFile(Path);
  TPeImage Image(Original);
  EXPECT_EQ(Image.StoredChecksum() == 0 || Image.StoredChecksum() == TPeImage::ComputeChecksum(Original, Image.ChecksumOffset()),
            true)
      << "our checksum differs from the linker's";
  TResourceTable Table = Image.ReadResources();
  {
    TModule Data(LoadLibraryExW(Wide(Path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(Data.Handle, nullptr);
    for (const auto& R : Table.Items)
      EXPECT_EQ(SystemResource(Data.Handle, R), R.Data) << R.Type.Display() << "/" << R.Name.Display();
  }

  // One of the file's own resources replaced; new ones large enough to grow the resource
  // section past whatever follows it.
  if (!Table.Items.empty()) Table.Set(Table.Items.front().Type, Table.Items.front().Name, Pattern(77, 4));
  Table.Set(TResourceName::FromId(10), TResourceName::FromText("SCRIPT"), Pattern(300000, 1));
  Table.Set(TResourceName::FromId(10), TResourceName::FromText("RUNBEFORE7"), Pattern(5000, 2));
  Table.Set(TResourceName::FromId(2), TResourceName::FromText("LOGO"), Pattern(1234, 3));
  const std::string Rewritten = Image.WithResources(Table);

  const auto Out = std::filesystem::temp_directory_path() / ("pe-rewritten-" + std::filesystem::path(Path).filename().string());
  const std::u8string OutUtf8 = Out.u8string();
  setup::SaveBytesToFile(std::string(OutUtf8.begin(), OutUtf8.end()), Rewritten);
  DWORD Header = 0, Computed = 0;
  ASSERT_NE(MapFileAndCheckSumW(Out.wstring().c_str(), &Header, &Computed), DWORD(-1));
  EXPECT_EQ(Header, Computed);

  // Mapped as an image, the way the program itself is, without running it.
  TModule Module(LoadLibraryExW(Out.wstring().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_NE(Module.Handle, nullptr) << "the loader refuses the rewritten file, error " << GetLastError();
  for (const auto& R : Table.Items)
    EXPECT_EQ(SystemResource(Module.Handle, R), R.Data) << R.Type.Display() << "/" << R.Name.Display();
  // The program finds its script by name without a language.
  HRSRC Script = FindResourceW(Module.Handle, L"SCRIPT", MAKEINTRESOURCEW(10));
  ASSERT_NE(Script, nullptr);
  EXPECT_EQ(SizeofResource(Module.Handle, Script), 300000u);
}

INSTANTIATE_TEST_SUITE_P(MingwBuilt, PeResourcesWin,
                         ::testing::Values(SETUP_STUB, FIXTURE_VERSIONED_SERVER, FIXTURE_PLAIN_LIBRARY,
                                           FIXTURE_RECORDER, FIXTURE_STRING_VERSION));

}  // namespace
