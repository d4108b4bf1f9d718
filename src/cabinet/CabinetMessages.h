#pragma once
// The texts the user sees about the cabinet library, as the program has always shown them.

namespace setup::CabinetMessages {

inline constexpr const char* LibraryNotFound = "Не найдена библиотека <Cabinet.dll>!";
inline constexpr const char* GenericError = "Cabinet error %d (type %d)";

// Indexed by the library's error code 1..11.
inline constexpr const char* ErrorTexts[] = {
    nullptr,
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

}  // namespace setup::CabinetMessages
