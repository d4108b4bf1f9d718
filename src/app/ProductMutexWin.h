#pragma once
// The sign by which a second copy of the same product's setup knows that it is not alone.
#include <windows.h>

#include <string>

#include "system/WideWin.h"

namespace setup {

// The name of the mutex by which the copies of one product's setup find each other, from the
// product's uninstall name (or its description when it has none); letter case does not count.
std::wstring ProductMutexName(const std::string& ProductName);

// Claims the product's mutex for this process. False when another copy holds it (also when
// it belongs to another user and cannot be opened). Keeps the handle in Held.
bool ClaimProductMutex(const std::string& ProductName, HandleGuard& Held);

}  // namespace setup
