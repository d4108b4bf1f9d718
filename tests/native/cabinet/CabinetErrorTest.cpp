#include <gtest/gtest.h>

#include "cabinet/CabinetError.h"

using namespace setup;

TEST(CabinetError, KnownCodesWithoutSecondaryValueGetTheirText) {
  const char* Texts[] = {
      "Не найден или испорчен CAB-файл",
      "CAB-файл имеет некорректный формат",
      "CAB-файл имеет неизвестную версию",
      "CAB-файл поврежден",
      "Недостаточно памяти для работы с CAB-файлом",
      "Неизвестный тип компрессии в CAB-файле",
      "Не удалось извлечь данные из CAB-файла, вероятно файл поврежден",
      "Не удалось извлечь данные из CAB-файла, вероятно недостаточно свободного места на диске",
      "В CAB-файле нет некоторого RESERVE размера",
      "Не удалось найти следующий CAB-файл",
      "Процедура работы с CAB-файлом прервана",
  };
  for (int Code = 1; Code <= 11; Code++) {
    try {
      RaiseCabinetError(Code, 0);
      FAIL() << "no exception for " << Code;
    } catch (const ECabinetError& Error) {
      EXPECT_STREQ(Error.what(), Texts[Code - 1]);
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
    EXPECT_STREQ(Error.what(), "Процедура работы с CAB-файлом прервана");
  }
}
