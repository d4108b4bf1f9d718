#pragma once
// Start-up of the model on Windows: the environment folders from the system and the registry,
// and the script embedded in the running program.
#include <string>
#include <vector>

#include "model/untData.h"

namespace setup {

class IRegistry;

// The bytes of the running program's RCDATA resource "SCRIPT"; false when the program has
// none or it cannot be loaded.
bool ReadScriptResource(std::string& Bytes);

// Reads the "SCRIPT" resource into the model. A program without one ends the step silently
// (EAbort); a conversion error raises EScriptError with what was read kept in the model.
void LoadScriptResource(TInstallInfo& Info);

// The environment folders: system and Windows folders, the user's Programs and Fonts folders,
// Program Files and Common Files, the database engine folder and the program's own folder.
TEnvironment ReadEnvironment(IRegistry& Registry);

// The model's start-up: environment folders, the embedded script, the check that its records
// form a tree of groups, then the default directory and program group from Args (the
// program's arguments). Stops with EAbort, EScriptError as LoadScriptResource and Validate do;
// the model keeps what was built until then.
void InitEnvironment(TInstallInfo& Info, IRegistry& Registry, const std::vector<std::string>& Args);

}  // namespace setup
