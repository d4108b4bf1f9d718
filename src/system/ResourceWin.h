#pragma once
// Files carried inside the program as resources.
#include <string>

namespace setup {

// The bytes of the program's RCDATA resource ResourceName; false when it has none.
bool FindProgramResource(const std::string& ResourceName, const void*& Bytes, unsigned long& Size);

// Writes the bytes of the program's RCDATA resource ResourceName to FileName, created anew.
// A missing resource ends with a silent abort (EAbort); a file that cannot be created raises
// "Cannot create file "<FileName>". <reason>"; a failed write raises as well and removes the
// partial file, so that a truncated copy is never taken for the real one.
void SaveResourceToFile(const std::string& ResourceName, const std::string& FileName);

}  // namespace setup
