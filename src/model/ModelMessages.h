#pragma once
// Texts the user sees from the script reader and the model. Each "%s" is filled in, in order,
// by the callers (FormatMessage1).

namespace setup {

// The conversion message of the platform's integer conversion, kept word for word.
inline constexpr const char* kMsgInvalidInteger = "'%s' is not a valid integer value.";

// A model whose records do not form a tree of groups cannot be installed.
inline constexpr const char* kMsgDirWithoutGroup =
    "Ошибка в сценарии установки (строка %s): каталог %s ссылается на отсутствующую группу %s.";
inline constexpr const char* kMsgFileWithoutGroup =
    "Ошибка в сценарии установки (строка %s): файл %s ссылается на отсутствующую группу %s.";
inline constexpr const char* kMsgGroupOwnAncestor =
    "Ошибка в сценарии установки (строка %s): группа %s является собственным предком.";

}  // namespace setup
