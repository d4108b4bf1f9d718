#pragma once
// The restart of Windows that the user chose on the finish page. setup.exe links RestartWin.cpp;
// the test programs link a variant that records the request instead, so that no test can
// restart the machine it runs on.
namespace setup {

void RequestRestart();

}  // namespace setup
