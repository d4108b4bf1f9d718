#include <gtest/gtest.h>

#include "cabinet/CabinetError.h"
#include "shared/ExpectedTexts.h"

using namespace setup;

TEST(CabinetError, KnownCodesWithoutSecondaryValueGetTheirText) {
  for (int Code = 1; Code <= 11; Code++) {
    try {
      RaiseCabinetError(Code, 0);
      FAIL() << "no exception for " << Code;
    } catch (const ECabinetError& Error) {
      EXPECT_EQ(Error.what(), test::CabinetErrorText(Code));
      EXPECT_EQ(Error.ErrorCode, Code);
      EXPECT_EQ(Error.ErrorType, 0);
    }
  }
}

TEST(CabinetError, OtherCodesAndSecondaryValuesKeepTheNumbers) {
  EXPECT_EQ(CabinetErrorMessage(4, 2), "Cabinet error 4 (type 2)");
  EXPECT_EQ(CabinetErrorMessage(0, 0), "Cabinet error 0 (type 0)");
  EXPECT_EQ(CabinetErrorMessage(12, 0), "Cabinet error 12 (type 0)");
  EXPECT_EQ(CabinetErrorMessage(-1, -5), "Cabinet error -1 (type -5)");
  ERF Erf{FDIERROR_USER_ABORT, 0, 1};
  try {
    RaiseCabinetError(Erf);
  } catch (const Exception& Error) {  // the program's handlers catch the general type
    EXPECT_EQ(Error.what(), test::CabinetErrorText(FDIERROR_USER_ABORT));
  }
}
