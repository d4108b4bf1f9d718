#pragma once
// Every text the user sees from the installation, word for word, each once. UTF-8 here; the
// windows convert at the edge. "%s" (and the cabinet's "%d") are filled in by the callers.

namespace setup::Msg {

inline constexpr const char* ApplicationTitle = "Мастер установки";
inline constexpr const char* ExitCaption = "Завершение работы";
inline constexpr const char* AlreadyRunning = "Программа установки уже запущена!";
// The folder of the run in the temporary folder and what is written there.
inline constexpr const char* TempFolderNotCreated =
    "Не удалось создать временную папку программы установки в каталоге <%s>: %s";
inline constexpr const char* TempFileNotWritten = "Не удалось записать временный файл <%s>: %s";

// Reading the script.
inline constexpr const char* InvalidInteger = "'%s' is not a valid integer value.";
// A script that the program refuses: the line, then what is wrong with it.
inline constexpr const char* ScriptErrorAt = "Ошибка в сценарии установки (строка %s): ";
inline constexpr const char* DirWithoutGroup = "каталог %s ссылается на отсутствующую группу %s.";
inline constexpr const char* FileWithoutGroup = "файл %s ссылается на отсутствующую группу %s.";
inline constexpr const char* GroupOwnAncestor = "группа %s является собственным предком.";
inline constexpr const char* DuplicateFileNumber = "номер файла %s уже занят файлом в строке %s.";
inline constexpr const char* NameTooLong =
    "название продукта (DESCRIPTION) длиннее 255 знаков: раздел удаления с таким именем не записать.";
// The key ("FILEPATH"), then the path.
inline constexpr const char* PathWithDots = "%s «%s» содержит «.» или «..».";

// The cabinet library.
inline constexpr const char* CabinetLibraryNotFound = "Не найдена библиотека <Cabinet.dll>!";
inline constexpr const char* CabinetLibraryNotLoaded = "Не удалось загрузить библиотеку <%s>: %s";
inline constexpr const char* CabinetLibraryMissing =
    "Программа установки повреждена: в ней нет библиотеки <Cabinet.dll>.";
inline constexpr const char* CabinetGenericError = "Cabinet error %s (type %s)";
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
// A cabinet set that is damaged, incomplete or mixed with another product's disks.
inline constexpr const char* CabinetMetTwice =
    "CAB-файл <%s> встречается в наборе повторно: набор CAB-файлов поврежден";
inline constexpr const char* CabinetOutOfSet =
    "CAB-файл <%s> не является следующим CAB-файлом этого набора (набор %s, номер %s; ожидался набор %s, номер %s)";
inline constexpr const char* CabinetFilesMissing = "В наборе CAB-файлов не найдены файлы: %s";
inline constexpr const char* CabinetFilesMore = " и еще %s";
inline constexpr const char* CabinetPathTooLong = "Слишком длинный путь к CAB-файлу: <%s>";
inline constexpr const char* CabinetNotFound = "Не найден CAB-файл <%s> в каталоге <%s>";
inline constexpr const char* CabinetWrong = "CAB-файл <%s> в каталоге <%s> поврежден или относится к другому набору";
inline constexpr const char* PayloadDamaged = "Файл установки поврежден или загружен не полностью. Загрузите его заново.";
// What has to hold before the installation changes anything.
inline constexpr const char* ListNotWritable = "Не удалось создать файл деинсталяции <%s>: %s";
inline constexpr const char* PathNotAnsi =
    "Путь <%s> содержит символы, которые нельзя записать в файл деинсталяции. Выберите другой каталог установки "
    "или другую программную группу";
// Room on a volume and an uninstaller at work, checked before any change.
inline constexpr const char* NoRoom = "На диске <%s> недостаточно места для установки: нужно %s МБ, свободно %s МБ";
inline constexpr const char* GoOnQuestion = "\rПродолжить установку?";
inline constexpr const char* RemoverRunning = "Работает программа удаления предыдущей установки <%s>";
inline constexpr const char* RemoverWaitQuestion = ".\rДождитесь ее завершения и нажмите \"Повтор\".";
// Replacing an installed file with its new version.
inline constexpr const char* ReplaceFailed = "Не удалось заменить файл <%s>: %s";
// The earlier installation's uninstaller is still at work after the wait.
inline constexpr const char* PreviousStillRunning =
    "Удаление предыдущей установки еще не завершено: программа <%s> продолжает работу.\rПодождать еще?";
inline constexpr const char* PreviousNotRemoved =
    "Удаление предыдущей установки не завершилось: программа <%s> продолжает работу";

// The wizard's pages. A "\r" is a line break; "\r\r" an empty line.
inline constexpr const char* BackButton = "<< Назад";
inline constexpr const char* NextButton = "Далее >>";
inline constexpr const char* CancelButton = "Отмена";
inline constexpr const char* FinishButton = "Завершить";
inline constexpr const char* DefaultButton = "По умолчанию";
inline constexpr const char* WelcomeHeading = "Эта программа произведет установку на Ваш компьютер программного продукта:";
inline constexpr const char* WelcomeText =
    "Рекомендуем закрыть все работающие приложения во избежание конфликтов с ними.\r\rВ любой момент Вы можете "
    "прервать установку продукта нажатием клавиши Отмена.\r\rДополнительную информацию о продукте Вы получите в "
    "процессе подготовки к установке. Также программа запросит у Вас ряд параметров, необходимых для установки "
    "продукта.\r\r";
inline constexpr const char* DownloadPrompt = "Последнюю версию продукта Вы можете найти на нашем Web-сайте:";
inline constexpr const char* LicenseHeading =
    "Чтобы произвести установку программного продукта, Вам необходимо принять условия лицензионного соглашения. "
    "Пожалуйста, прочитайте внимательно текст соглашения:";
inline constexpr const char* LicenseYes = "Да, я согласен(на) с условиями, продолжить установку продукта";
inline constexpr const char* LicenseNo = "Нет, я несогласен(на) с условиями соглашения, прервать установку";
inline constexpr const char* ReadmeHeading =
    "Прочитайте краткую информацию о программном продукте, последние изменения, не вошедшие в документацию, "
    "контактную информацию и т.д.:";
inline constexpr const char* DirectoryHeading =
    "Установка программного продукта будет произведена в директорию, указанную ниже. Вы можете изменить директорию "
    "по умолчанию на любую другую.";
inline constexpr const char* Configurations1C = "Конфигурации системы \"1С: Предприятие\"";
inline constexpr const char* CurrentDirectory = "Текущая директория для установки:";
inline constexpr const char* TypeHeading = "Выберите интересующий Вас сценарий установки программного продукта:";
inline constexpr const char* TypeFull = "Полная установка";
inline constexpr const char* TypeFullText =
    "Будет произведена установка абсолютно всех компонентов, входящих в комплект поставки программного продукта.";
inline constexpr const char* TypeTypical = "Типовая установка";
inline constexpr const char* TypeTypicalText =
    "Типовая установка предусматривает инсталляцию оптимального набора компонентов программного продукта.";
inline constexpr const char* TypeMinimal = "Минимальная установка";
inline constexpr const char* TypeMinimalText =
    "Будет произведена установка минимально необходимого набора компонентов, достаточного для работы.";
inline constexpr const char* TypeCustom = "Установка по выбору (для опытных пользователей!)";
inline constexpr const char* TypeCustomText =
    "Позволяет пользователю полностью контролировать процесс установки тех или иных компонентов продукта.";
inline constexpr const char* ComponentsHeading = "Выберите для установки компоненты, необходимые Вам:";
inline constexpr const char* GroupHeading =
    "Выберите программную группу, в которой будут созданы ярлыки программ и документов устанавливаемого "
    "программного продукта:";
inline constexpr const char* ExistingGroups = "Список существующих программных групп:";
inline constexpr const char* Products1CHeading =
    "Запрос на копирование файлов внешних компонент семейства программ \"1С:Предприятие\". Выберите продукты "
    "семейства, в которых предполагается работа с внешними компонентами. В каталоги выделенных программ будет "
    "осуществлено копирование файлов внешних компонент.";
inline constexpr const char* Product1C75 = "1С: Предприятие 7.5";
inline constexpr const char* Product1C77 = "1С: Предприятие 7.7";
inline constexpr const char* Product1C8 = "1С: Предприятие 8";
inline constexpr const char* ProgressHeading =
    "Производится установка программного продукта. После распаковки файлов мастер установки может, если это "
    "предусмотрено, запустить внешние файлы на выполнение и сделать запрос на перезагрузку компьютера.";
inline constexpr const char* CurrentOperation = "Выполняемая операция:";
inline constexpr const char* ProgressLabel = "Показатель хода установки:";
inline constexpr const char* ProgressCancelHint = "Вы можете прервать процедуру установки нажатием кнопки \"Отмена\".";
inline constexpr const char* RestartChoice = "Ваш выбор относительно перезагрузки компьютера:";
inline constexpr const char* RestartNow = "Осуществить перезагрузку немедленно";
inline constexpr const char* RestartLater = "Осуществить перезагрузку позднее";
inline constexpr const char* FinishRestart =
    "Для завершения установки необходимо перезагрузить компьютер. Вы можете выполнить эту операцию немедленно или "
    "позднее. Сделайте выбор и затем нажмите кнопку \"Завершить\".";
inline constexpr const char* FinishSucceeded =
    "Установка успешно завершена. Для выхода из программы установки нажмите кнопку \"Завершить\"";
inline constexpr const char* FinishIncomplete =
    "Установка не была завершена полностью. Нажмите кнопку \"Завершить\" для прекращения работы программы "
    "установки.";
inline constexpr const char* UndoingChanges = "Отмена изменений…";
// The finish page after the run's changes were undone: %s is empty, or names what was left.
inline constexpr const char* FinishRolledBack = "Установка не была завершена. %s";
inline constexpr const char* RolledBackAll = "Компьютер возвращен в прежнее состояние.";
inline constexpr const char* RolledBackPart = "Не удалось отменить изменения: ";
// Shown at start when the changes of an earlier run that was cut off have been undone.
inline constexpr const char* InterruptedRun = "Предыдущая установка была прервана. %s";
inline constexpr const char* InterruptedRunUndone = "Сделанные ею изменения отменены.";
inline constexpr const char* LicenseRefused =
    "Программа установки завершает свою работу. Установка программного продукта не была произведена.";
inline constexpr const char* NoComponentSelected = "Не выбрано ни одного компонента!";

// The next-disk prompt and the folder browser.
inline constexpr const char* NextDiskCaption = "Вставьте следующий диск";
inline constexpr const char* NextDiskText = "Вставьте следующий диск с файлом";
inline constexpr const char* WrongDiskText = "Это не тот диск. Вставьте следующий диск с файлом";
inline constexpr const char* BrowseButton = "Обзор...";
inline constexpr const char* OkButton = "ОК";
inline constexpr const char* ChooseFolder = "Выберите каталог";

// Switches of unattended runs.
inline constexpr const char* BadInstallDir =
    "Каталог установки \"%s\" не подходит: укажите полный путь без «..», например C:\\Program Files\\Продукт.";
inline constexpr const char* BadProgramGroup =
    "Группа программ \"%s\" не подходит: нужна папка внутри меню \"Пуск\", без диска и «..».";
inline constexpr const char* BadInstallType = "Тип установки в ключе /TYPE= не предусмотрен этой программой установки.";
inline constexpr const char* BadComponents =
    "Ключ /COMPONENTS= не подходит: нужны номера групп через запятую, /AUTO=ON и никакого /TYPE=, кроме CUSTOM.";
inline constexpr const char* HelpText =
    "Ключи командной строки:\r"
    "/AUTO=ON\tустановка без вопросов (тип и каталоги берутся из ключей или по умолчанию);\r"
    "/PATH=<каталог>\tкаталог установки (полный путь);\r"
    "/GROUP=<группа>\tгруппа программ в меню \"Пуск\";\r"
    "/TYPE=FULL|TYPICAL|MINIMAL|CUSTOM\tтип установки;\r"
    "/COMPONENTS=1,8\tс /AUTO=ON: только эти группы компонентов;\r"
    "/QUIET=ON\tвместе с /AUTO=ON: не показывать никаких окон с вопросами и сообщениями;\r"
    "/LOG=<файл>\tзаписать ход установки в файл (UTF-8);\r"
    "/?, /HELP\tэта справка.\r"
    "\r"
    "Код завершения:\r"
    "0\tустановка выполнена;\r"
    "1\tустановка не выполнена или прервана;\r"
    "2\tпрограмма не запущена (уже запущена другая копия, ошибка в сценарии, неверные ключи);\r"
    "3\tустановка выполнена, но часть файлов оставлена или пропущена (см. журнал);\r"
    "1618\tс /AUTO=ON: уже запущена другая копия;\r"
    "3010\tустановка выполнена, нужна перезагрузка Windows.";

}  // namespace setup::Msg
