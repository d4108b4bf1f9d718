#pragma once
// Every text the user sees from the installation, word for word, each once. UTF-8 here; the
// windows convert at the edge. "%s" (and the cabinet's "%d") are filled in by the callers.

namespace setup::Msg {

inline constexpr const char* ApplicationTitle = "Мастер установки";
inline constexpr const char* ExitCaption = "Завершение работы";
inline constexpr const char* AlreadyRunning = "Программа установки уже запущена!";

// Reading the script.
inline constexpr const char* InvalidInteger = "'%s' is not a valid integer value.";
inline constexpr const char* DirWithoutGroup =
    "Ошибка в сценарии установки (строка %s): каталог %s ссылается на отсутствующую группу %s.";
inline constexpr const char* FileWithoutGroup =
    "Ошибка в сценарии установки (строка %s): файл %s ссылается на отсутствующую группу %s.";
inline constexpr const char* GroupOwnAncestor =
    "Ошибка в сценарии установки (строка %s): группа %s является собственным предком.";

// The cabinet library.
inline constexpr const char* CabinetLibraryNotFound = "Не найдена библиотека <Cabinet.dll>!";
inline constexpr const char* CabinetGenericError = "Cabinet error %d (type %d)";
// Indexed by the library's error code 1..11.
inline constexpr const char* CabinetErrorTexts[] = {
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

// The installation run.
inline constexpr const char* ErrorPrefix = "В процессе установки произошла ошибка: ";
inline constexpr const char* RunningPrograms = "Запуск внешних программ...";
inline constexpr const char* RemovingPrevious = "Удаление предыдущей установки";
inline constexpr const char* CreatingDirectories = "Создание директорий";
inline constexpr const char* CreatingUninstall = "Создание деинсталяции";
inline constexpr const char* Extracting = "Распаковка и копирование файлов";
inline constexpr const char* RegisteringServers = "Регистрация OLE Automation серверов. Это может занять несколько минут!";
inline constexpr const char* Registering1C = "Регистрация конфигураций 1С";
inline constexpr const char* CreatingShortcuts = "Создание программных ярлыков...";
inline constexpr const char* DeletingTemporary = "Удаление временных файлов...";
inline constexpr const char* GiveUpQuestion =
    "Программа установки не завершила свою работу.\rВы подтверждаете выход из программы и прекращение установки ?";
// The version question: prefix, path, suffix, then the two versions and the question.
inline constexpr const char* ExistingFilePrefix = "Файл <";
inline constexpr const char* ExistingFileSuffix = "> уже существует на Вашем ПК!\r";
inline constexpr const char* InstalledVersion = "Версия устанавливаемого файла ";
inline constexpr const char* ExistingVersion = "Версия существующего файла    ";
inline constexpr const char* ReplaceQuestion = "Заменить файл?";
// A file held by another process.
inline constexpr const char* BusyFilePrefix = "Не удалось установить файл <";
inline constexpr const char* BusyFileSuffix =
    ">!\rОн уже существует на Вашем ПК и занят другим процессом.\rЕсли Вы уверены, что данный файл не нуждается в "
    "обновлении, то можно продолжить установку.";
inline constexpr const char* BadEntryName = "В CAB-файле найден файл с недопустимым именем <%s>";

}  // namespace setup::Msg
