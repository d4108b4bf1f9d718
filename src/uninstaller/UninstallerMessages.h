#pragma once
// Every text the user sees from the uninstaller, word for word, each once. UTF-8 here; the
// windows convert at the edge. "%s" is filled in by the callers.

namespace setup::UnMsg {

inline constexpr const char* Title = "Удаление программы";
inline constexpr const char* ConfirmRemoval = "Удалить программу «%s» и все её компоненты с Вашего компьютера?";
inline constexpr const char* UnnamedProduct = "без названия";
inline constexpr const char* Removing = "Удаление программы «%s»...";
inline constexpr const char* Done = "Программа «%s» удалена с Вашего компьютера.";
inline constexpr const char* DoneWithLeftovers = "Удаление программы «%s» завершено, но удалить удалось не всё:";
inline constexpr const char* KeptNotes = "Оставлено на месте:";
inline constexpr const char* MoreLines = "... и ещё %s";

// Why something stayed.
inline constexpr const char* LeftScheduled = "файл занят, будет удалён при перезагрузке: %s";
inline constexpr const char* LeftNotRemoved = "не удалось удалить: %s";
inline constexpr const char* LeftNoCounter = "общий файл без счётчика использования, оставлен: %s";
inline constexpr const char* LeftCommandFailed = "не удалось выполнить команду: %s";
inline constexpr const char* LeftRefused = "вне папок программы, не удалено: %s";
inline constexpr const char* LeftCommandRefused = "команда не выполнена: список не подтверждён установкой: %s";
inline constexpr const char* KeptShared = "общий файл нужен другим программам: %s";
inline constexpr const char* KeptNotEmpty = "в папке остались файлы: %s";

// A run that cannot start.
inline constexpr const char* NoListGiven =
    "Не указан файл со списком удаляемых компонентов.\rЗапуск: UnInstall.exe \"<файл списка>\" [/silence]";
inline constexpr const char* ListUnreadable = "Не удалось прочитать список удаляемых компонентов:\r%s";
inline constexpr const char* ListDamaged = "Список удаляемых компонентов повреждён (%s). Ничего не удалено.";
inline constexpr const char* AlreadyRemoving =
    "Программа по списку\r%s\rуже удаляется другой копией программы удаления. Ничего не удалено.";
inline constexpr const char* ListChanged =
    "Список удаляемых компонентов изменён после установки программы:\r%s\rНичего не удалено.";

// What is wrong with a damaged list (inserted into ListDamaged).
inline constexpr const char* OtherEncoding = "список сохранён в другой кодировке, %s";
inline constexpr const char* BadVersion = "неизвестная версия формата «%s»";
inline constexpr const char* BadCount = "неверное число элементов «%s»";
inline constexpr const char* BadItemType = "неизвестный тип элемента %s";
inline constexpr const char* BadNumber = "неверное число у элемента %s";
inline constexpr const char* RelativePath = "путь не полный: %s";

}  // namespace setup::UnMsg
