#pragma once
// The texts the program shows for cabinet library errors, typed here once as the user must read
// them, so that every suite checks the program's table against the same expectation.
#include <string>

#include "cabinet/Fdi.h"

namespace test {

// By FDIERROR code, 1 (FDIERROR_CABINET_NOT_FOUND) to 11 (FDIERROR_USER_ABORT).
inline const char* const cCabinetErrorTexts[] = {
    "",
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

inline std::string CabinetErrorText(int Code) { return cCabinetErrorTexts[Code]; }

}  // namespace test
