// Where a cabinet carried in the setup program's own file lies, as its resource gives it, and
// reading inside that window of the file.
#include <gtest/gtest.h>

#include "cabinet/EmbeddedCabinet.h"

namespace {

using namespace setup;

TEST(EmbeddedCabinet, ThePlaceIsReadBackAndAMalformedOneGivesNoCabinet) {
  TEmbeddedCabinet Read;
  ASSERT_TRUE(ReadEmbeddedCabinetPlace(EmbeddedCabinetPlace({454656, 2147483647}), Read));
  EXPECT_EQ(Read.Offset, 454656u);
  EXPECT_EQ(Read.Size, 2147483647u);
  EXPECT_EQ(EmbeddedCabinetPlace({0x04030201, 0x08070605}), "\x01\x02\x03\x04\x05\x06\x07\x08");
  for (const std::string& Bad : {std::string(), std::string("\x01\x02\x03\x04\x05\x06\x07", 7),
                                 EmbeddedCabinetPlace({454656, 0}) /* empty */,
                                 EmbeddedCabinetPlace({0xFFFFFF00, 0x100}) /* beyond 4 GB */,
                                 EmbeddedCabinetPlace({1, 2}) + "x"})
    EXPECT_FALSE(ReadEmbeddedCabinetPlace(Bad, Read)) << Bad.size();
}

TEST(EmbeddedCabinet, AFileCutAnywhereBeforeTheCabinetsEndIsIncomplete) {
  const TEmbeddedCabinet Cabinet{1000, 500};
  for (const std::int64_t Size : {-1ll, 0ll, 999ll, 1000ll, 1001ll, 1499ll})
    EXPECT_FALSE(EmbeddedCabinetComplete(Cabinet, Size)) << Size;
  // Whatever follows the cabinet (a signature) is not its business.
  for (const std::int64_t Size : {1500ll, 9000ll, 0x100000000ll}) EXPECT_TRUE(EmbeddedCabinetComplete(Cabinet, Size)) << Size;
  EXPECT_TRUE(EmbeddedCabinetComplete({0xFFFFFF00, 0xFF}, 0xFFFFFFFFll));
  EXPECT_FALSE(EmbeddedCabinetComplete({}, 9000));
}

TEST(EmbeddedCabinet, ReadsStopAtTheWindowsEnd) {
  EXPECT_EQ(WindowReadCount(1500, 1000, 400), 400u);
  EXPECT_EQ(WindowReadCount(1500, 1400, 400), 100u);  // never into what follows the cabinet
  EXPECT_EQ(WindowReadCount(1500, 1500, 400), 0u);
  EXPECT_EQ(WindowReadCount(1500, 1600, 400), 0u);
  EXPECT_EQ(WindowReadCount(0xFFFFFFFF, 0xFFFFFF00, 0x1000), 0xFFu);
}

}  // namespace
