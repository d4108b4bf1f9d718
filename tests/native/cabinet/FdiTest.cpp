// Our cabinet library against the public test cabinets, cabextract and gcab.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "FdiHarness.h"

using namespace fdi_test;
namespace fs = std::filesystem;

namespace {

const fs::path TestCabinets = fs::path(SETUP_TESTDATA) / "cabinets";

std::string Folder(const fs::path& Dir) { return Dir.string() + "/"; }

// The completed files of a failed extraction must agree with what cabextract makes of the
// same cabinet; nothing may stay open, leak or be touched after closing.
void ExpectSoundFailureOrMatch(const fs::path& Cabinet, const TExtraction& R) {
  SCOPED_TRACE(Cabinet.filename().string());
  EXPECT_EQ(R.OpenHandles, 0);
  EXPECT_FALSE(R.Misuse);
  EXPECT_FALSE(R.Leak);
  auto Truth = CabextractFiles(Cabinet);
  if (R.Ok) {
    EXPECT_EQ(R.Files, Truth);
    return;
  }
  EXPECT_TRUE(R.Error.fError);
  EXPECT_GE(R.Error.erfOper, FDIERROR_CABINET_NOT_FOUND);
  EXPECT_LE(R.Error.erfOper, FDIERROR_USER_ABORT);
  for (const auto& [Name, Bytes] : R.Files) {
    ASSERT_TRUE(Truth.count(Name)) << Name;
    EXPECT_EQ(Bytes, Truth[Name]) << Name;
  }
}

std::vector<fs::path> TestCabinetsMatching(std::initializer_list<const char*> Prefixes) {
  std::vector<fs::path> Result;
  for (const auto& Entry : fs::directory_iterator(TestCabinets)) {
    std::string Name = Entry.path().filename().string();
    if (Entry.path().extension() != ".cab") continue;
    for (const char* Prefix : Prefixes)
      if (Name.rfind(Prefix, 0) == 0) Result.push_back(Entry.path());
  }
  std::sort(Result.begin(), Result.end());
  return Result;
}

}  // namespace

TEST(FdiTestCabinets, WellFormedOnesExtractLikeCabextract) {
  auto Cabinets = TestCabinetsMatching({"normal_2files_1folder", "normal_255c_filename", "reserve_"});
  ASSERT_EQ(Cabinets.size(), 10u);
  for (const fs::path& Cabinet : Cabinets) {
    SCOPED_TRACE(Cabinet.filename().string());
    TExtraction R = Extract(Folder(Cabinet.parent_path()), Cabinet.filename().string());
    EXPECT_TRUE(R.Ok) << R.Error.erfOper;
    EXPECT_EQ(R.OpenHandles, 0);
    EXPECT_FALSE(R.Leak);
    auto Truth = CabextractFiles(Cabinet);
    EXPECT_FALSE(Truth.empty());
    EXPECT_EQ(R.Files, Truth);
  }
}

TEST(FdiTestCabinets, MalformedOnesFailCleanlyOrAgreeWithCabextract) {
  auto Cabinets = TestCabinetsMatching({"bad_", "partial_", "cve-", "filename-read-violation-", "hidden-file",
                                        "lzx-", "search_"});
  ASSERT_GE(Cabinets.size(), 35u);
  for (const fs::path& Cabinet : Cabinets)
    ExpectSoundFailureOrMatch(Cabinet, Extract(Folder(Cabinet.parent_path()), Cabinet.filename().string()));
}

TEST(FdiTestCabinets, LoneSetMembersFailCleanly) {
  // Without the rest of the set the first part cannot finish its files; the others only
  // announce the files they continue.
  TClient GiveUp;
  GiveUp.OnNextCabinet = [](FDINOTIFICATION& N) { return N.fdie == FDIERROR_NONE ? 0 : -1; };
  TExtraction First = Extract(Folder(TestCabinets), "multi_basic_pt1.cab", GiveUp);
  EXPECT_FALSE(First.Ok);
  EXPECT_EQ(First.Error.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(First.OpenHandles, 0);
  EXPECT_TRUE(First.Files.empty());
  TExtraction Last = Extract(Folder(TestCabinets), "multi_basic_pt5.cab", GiveUp);
  EXPECT_TRUE(Last.Ok);
  EXPECT_TRUE(Last.Files.empty());
  ASSERT_EQ(Last.Log.size(), 4u);
  EXPECT_EQ(Last.Log[1], "PARTIAL_FILE test1.txt first=cabd_multi_basic_pt4.cab disk=basic multipart test part 4");
}

class FdiMultiPartSet : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int Part = 1; Part <= 5; Part++)
      fs::copy_file(TestCabinets / ("multi_basic_pt" + std::to_string(Part) + ".cab"), PartPath(Part));
  }
  fs::path PartPath(int Part) const { return Dir.Path() / ("cabd_multi_basic_pt" + std::to_string(Part) + ".cab"); }
  TTempDir Dir;
};

TEST_F(FdiMultiPartSet, FirstPartExtractsTheWholeSetWithOneCabinetInfoPerCabinet) {
  TExtraction R = Extract(Dir.Folder(), "cabd_multi_basic_pt1.cab");
  ASSERT_TRUE(R.Ok) << R.Error.erfOper;
  EXPECT_EQ(R.Files, CabextractFiles(PartPath(1)));
  EXPECT_EQ(R.Files.size(), 3u);
  std::vector<std::string> Expected = {
      "CABINET_INFO next=cabd_multi_basic_pt2.cab disk=basic multipart test part 2 set=12345 index=0",
      "COPY_FILE test1.txt size=76 date=8812 time=22970 attribs=32",
      "NEXT_CABINET cabd_multi_basic_pt2.cab disk=basic multipart test part 2 error=0",
      "CABINET_INFO next=cabd_multi_basic_pt3.cab disk=basic multipart test part 3 set=12345 index=1",
      "NEXT_CABINET cabd_multi_basic_pt3.cab disk=basic multipart test part 3 error=0",
      "CABINET_INFO next=cabd_multi_basic_pt4.cab disk=basic multipart test part 4 set=12345 index=2",
      "NEXT_CABINET cabd_multi_basic_pt4.cab disk=basic multipart test part 4 error=0",
      "CABINET_INFO next=cabd_multi_basic_pt5.cab disk=basic multipart test part 5 set=12345 index=3",
      "NEXT_CABINET cabd_multi_basic_pt5.cab disk=basic multipart test part 5 error=0",
      "CABINET_INFO next= disk= set=12345 index=4",
      "CLOSE_FILE_INFO test1.txt date=8812 time=22970 attribs=32 execute=0",
      "COPY_FILE test2.txt size=38 date=8812 time=22970 attribs=32",
      "CLOSE_FILE_INFO test2.txt date=8812 time=22970 attribs=32 execute=0",
      "COPY_FILE test3.txt size=76 date=8812 time=22970 attribs=32",
      "CLOSE_FILE_INFO test3.txt date=8812 time=22970 attribs=32 execute=0",
  };
  EXPECT_EQ(R.Log, Expected);
}

TEST_F(FdiMultiPartSet, MissingPartIsRequestedAgainWithItsErrorUntilTheClientGivesUp) {
  fs::remove(PartPath(3));
  int Retries = 0;
  TClient Client;
  Client.OnNextCabinet = [&](FDINOTIFICATION& N) { return N.fdie == FDIERROR_NONE || ++Retries < 2 ? 0 : -1; };
  TExtraction R = Extract(Dir.Folder(), "cabd_multi_basic_pt1.cab", Client);
  EXPECT_FALSE(R.Ok);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(R.OpenHandles, 0);
  EXPECT_TRUE(R.Files.empty());
  ASSERT_GE(R.Log.size(), 3u);
  std::vector<std::string> Tail(R.Log.end() - 3, R.Log.end());
  std::vector<std::string> Expected = {
      "NEXT_CABINET cabd_multi_basic_pt3.cab disk=basic multipart test part 3 error=0",
      "NEXT_CABINET cabd_multi_basic_pt3.cab disk=basic multipart test part 3 error=1",
      "NEXT_CABINET cabd_multi_basic_pt3.cab disk=basic multipart test part 3 error=1",
  };
  EXPECT_EQ(Tail, Expected);
}

TEST_F(FdiMultiPartSet, WrongOrBrokenPartIsReportedAndTheClientsNewFolderIsUsed) {
  // The right third part waits in another folder; the one beside the set is wrong.
  TTempDir Elsewhere;
  fs::copy_file(PartPath(3), Elsewhere.Path() / "cabd_multi_basic_pt3.cab");
  struct TCase {
    std::string Content;
    int Indication;
  } Cases[] = {
      {ReadFile(PartPath(4)), FDIERROR_WRONG_CABINET},             // out of sequence
      {std::string(100, 'x'), FDIERROR_NOT_A_CABINET},             // not a cabinet
      {ReadFile(PartPath(3)).substr(0, 40), FDIERROR_CORRUPT_CABINET},  // cut inside the names
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Indication);
    WriteFile(PartPath(3), Case.Content);
    std::vector<int> Indications;
    TClient Client;
    Client.OnNextCabinet = [&](FDINOTIFICATION& N) {
      Indications.push_back(N.fdie);
      // The rest of the set is back beside the first part.
      std::string Path = std::string(N.psz1) == "cabd_multi_basic_pt3.cab" && N.fdie ? Elsewhere.Folder() : Dir.Folder();
      std::strcpy(N.psz3, Path.c_str());
      return Indications.size() < 10 ? 0 : -1;
    };
    TExtraction R = Extract(Dir.Folder(), "cabd_multi_basic_pt1.cab", Client);
    EXPECT_TRUE(R.Ok) << R.Error.erfOper;
    EXPECT_EQ(R.Files.size(), 3u);
    EXPECT_EQ(Indications, (std::vector<int>{0, 0, Case.Indication, 0, 0}));
  }
  // A part of another set under the right name.
  std::string Foreign = ReadFile(TestCabinets / "multi_basic_pt3.cab");
  Foreign[32] ^= 1;  // setID
  WriteFile(PartPath(3), Foreign);
  int LastIndication = -1;
  TClient Client;
  Client.OnNextCabinet = [&](FDINOTIFICATION& N) { return (LastIndication = N.fdie) ? -1 : 0; };
  TExtraction R = Extract(Dir.Folder(), "cabd_multi_basic_pt1.cab", Client);
  EXPECT_EQ(R.Error.erfOper, FDIERROR_USER_ABORT);
  EXPECT_EQ(LastIndication, FDIERROR_WRONG_CABINET);
}

TEST_F(FdiMultiPartSet, ContinuationPartsOnlyAnnounceTheirContinuedFiles) {
  TExtraction R = Extract(Dir.Folder(), "cabd_multi_basic_pt3.cab");
  EXPECT_TRUE(R.Ok);
  std::vector<std::string> Expected = {
      "CABINET_INFO next=cabd_multi_basic_pt4.cab disk=basic multipart test part 4 set=12345 index=2",
      "PARTIAL_FILE test1.txt first=cabd_multi_basic_pt2.cab disk=basic multipart test part 2",
      "PARTIAL_FILE test2.txt first=cabd_multi_basic_pt2.cab disk=basic multipart test part 2",
      "PARTIAL_FILE test3.txt first=cabd_multi_basic_pt2.cab disk=basic multipart test part 2",
  };
  EXPECT_EQ(R.Log, Expected);
}
