// The worker registers in-process servers in a child run of the program it lives in; for these
// tests that program is this test binary, which therefore answers the child's switch first,
// exactly as setup.exe does, before any test runs.
#include <gtest/gtest.h>

#include "system/ServerRegistrationWin.h"

int main(int argc, char** argv) {
  int ExitCode = 0;
  if (setup::RunChildRegistration(ExitCode)) return ExitCode;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
