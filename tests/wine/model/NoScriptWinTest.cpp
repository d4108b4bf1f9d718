#include <gtest/gtest.h>

#include "model/StartupWin.h"
#include "system/RegistryWin.h"

namespace setup {
namespace {

// This program carries no "SCRIPT" resource: the start-up ends silently with an empty model.
TEST(ScriptResourceWin, AProgramWithoutScriptAbortsSilently) {
  std::string Bytes = "untouched";
  EXPECT_FALSE(ReadScriptResource(Bytes));
  RegistryWin Registry;
  TInstallInfo Info(&Registry);
  Info.GroupName = "kept";
  EXPECT_THROW(InitEnvironment(Info, Registry, {"/PATH=C:\\x"}), EAbort);
  EXPECT_TRUE(Info.Lines.empty());
  EXPECT_TRUE(Info.Groups.empty());
  EXPECT_EQ(Info.InstallDir, "") << "the defaults come after the script and are not reached";
  EXPECT_FALSE(Info.Environment.SystemDir.empty()) << "the folders are gathered before the script";
}

}  // namespace
}  // namespace setup
