#pragma once
// One suite for every registry store: the in-memory store must behave as the system's.
// Instantiate with a type that has `static std::unique_ptr<setup::IRegistry> Make()`.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "system/Bde.h"
#include "system/Errors.h"
#include "system/Registry.h"

namespace registry_contract {

using setup::Exception;
using setup::IRegistry;
using setup::RegistryRoot;

// Each test works under its own key, so that test programs may run side by side.
inline std::string TestKey() {
  return std::string("\\SOFTWARE\\SetupEngineTests\\") +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

template <class Store>
class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = TestKey();
    Reg = Store::Make();
    Clean();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    for (auto Root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
      Reg->SetRootKey(Root);
      Reg->DeleteKey(this->Root);
    }
    Reg->CloseKey();
  }
  std::string MessageOf(auto&& Action) {
    try {
      Action();
    } catch (const Exception& E) {
      return E.what();
    }
    return "(no error)";
  }
  std::unique_ptr<IRegistry> Reg;
  std::string Root;
};

TYPED_TEST_SUITE_P(RegistryContract);

TYPED_TEST_P(RegistryContract, OpenCreatesOnlyWhenAsked) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(R.OpenKey(std::string(this->Root) + "\\Missing", false));
  EXPECT_FALSE(R.HasCurrentKey());
  EXPECT_FALSE(R.KeyExists(std::string(this->Root) + "\\Missing"));
  ASSERT_TRUE(R.OpenKey(std::string(this->Root) + "\\A\\B", true));
  EXPECT_EQ(R.CurrentPath(), this->Root.substr(1) + "\\A\\B");
  R.CloseKey();
  EXPECT_TRUE(R.KeyExists(std::string(this->Root) + "\\a\\b"));  // names ignore letter case
  EXPECT_TRUE(R.OpenKey(std::string(this->Root) + "\\A\\B", false));
  // The roots are separate trees.
  R.SetRootKey(RegistryRoot::CurrentUser);
  EXPECT_FALSE(R.KeyExists(std::string(this->Root) + "\\A\\B"));
}

TYPED_TEST_P(RegistryContract, RelativeAndAbsolutePaths) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::CurrentUser);
  ASSERT_TRUE(R.OpenKey(this->Root, true));
  ASSERT_TRUE(R.OpenKey("Child", true));  // relative to the open key
  EXPECT_EQ(R.CurrentPath(), this->Root.substr(1) + "\\Child");
  R.WriteString("Where", "child");
  ASSERT_TRUE(R.OpenKey(std::string(this->Root) + "\\Other", true));  // a leading backslash starts at the root
  EXPECT_EQ(R.CurrentPath(), this->Root.substr(1) + "\\Other");
  R.CloseKey();
  ASSERT_TRUE(R.OpenKey(this->Root.substr(1) + "\\Child\\", false));  // no key open: from the root
  EXPECT_EQ(R.ReadString("Where"), "child");
}

TYPED_TEST_P(RegistryContract, StringsAndNumbersRoundTrip) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(R.OpenKey(this->Root, true));
  R.WriteString("Text", "Мастер установки");
  R.WriteString("Empty", "");
  R.WriteInteger("Count", 7);
  R.WriteInteger("Negative", -2);
  EXPECT_EQ(R.ReadString("Text"), "Мастер установки");
  EXPECT_EQ(R.ReadString("text"), "Мастер установки");
  EXPECT_EQ(R.ReadString("Empty"), "");
  EXPECT_TRUE(R.ValueExists("Empty"));
  EXPECT_EQ(R.ReadInteger("Count"), 7);
  EXPECT_EQ(R.ReadInteger("Negative"), -2);
  R.WriteInteger("Count", 8);  // overwrite keeps one value
  EXPECT_EQ(R.ReadInteger("Count"), 8);
  // The system promises no order of values (Wine sorts them, Windows keeps creation order).
  auto Names = R.GetValueNames();
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"Count", "Empty", "Negative", "Text"}));
  EXPECT_TRUE(R.DeleteValue("Empty"));
  EXPECT_FALSE(R.ValueExists("Empty"));
  EXPECT_FALSE(R.DeleteValue("Empty"));
}

TYPED_TEST_P(RegistryContract, MissingAndMistypedValues) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(R.OpenKey(this->Root, true));
  EXPECT_EQ(R.ReadString("Absent"), "");
  EXPECT_EQ(this->MessageOf([&] { R.ReadInteger("Absent"); }), "Failed to get data for 'Absent'");
  R.WriteInteger("Number", 5);
  EXPECT_EQ(this->MessageOf([&] { R.ReadString("Number"); }), "Invalid data type for 'Number'");
  EXPECT_EQ(R.ReadStringOrEmpty("Number"), "");
  R.WriteString("One", "a");  // four bytes stored: read, then refused for its type
  EXPECT_EQ(this->MessageOf([&] { R.ReadInteger("One"); }), "Invalid data type for 'One'");
  R.WriteString("Long", "longer text");  // too long for a number: the read itself fails
  EXPECT_EQ(this->MessageOf([&] { R.ReadInteger("Long"); }), "Failed to get data for 'Long'");
  R.WriteBinaryData("Blob", {1, 2});
  EXPECT_EQ(this->MessageOf([&] { R.ReadInteger("Blob"); }), "Invalid data type for 'Blob'");
  R.WriteBinaryData("Wide", {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(this->MessageOf([&] { R.ReadInteger("Wide"); }), "Failed to get data for 'Wide'");
  EXPECT_EQ(this->MessageOf([&] { R.ReadString("Wide"); }), "Invalid data type for 'Wide'");
}

TYPED_TEST_P(RegistryContract, WritesFailWithoutWritableKey) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_EQ(this->MessageOf([&] { R.WriteString("X", "1"); }), "Failed to set data for 'X'");
  ASSERT_TRUE(R.OpenKey(this->Root, true));
  R.WriteString("Kept", "1");
  R.CloseKey();
  ASSERT_TRUE(R.OpenKeyReadOnly(this->Root));
  EXPECT_EQ(R.ReadString("Kept"), "1");
  EXPECT_EQ(this->MessageOf([&] { R.WriteInteger("Y", 1); }), "Failed to set data for 'Y'");
  EXPECT_FALSE(R.OpenKeyReadOnly(std::string(this->Root) + "\\Missing"));
}

TYPED_TEST_P(RegistryContract, EnumerationAndDeletion) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::LocalMachine);
  for (const char* Name : {"Zeta", "alpha", "Beta"}) {
    ASSERT_TRUE(R.OpenKey(std::string(this->Root) + "\\List\\" + Name + "\\Deep", true));
  }
  ASSERT_TRUE(R.OpenKey(std::string(this->Root) + "\\List", false));
  auto Names = R.GetKeyNames();
  std::vector<std::string> Folded;
  for (auto N : Names) {
    for (auto& C : N) C = static_cast<char>(tolower(static_cast<unsigned char>(C)));
    Folded.push_back(N);
  }
  EXPECT_EQ(Folded, (std::vector<std::string>{"alpha", "beta", "zeta"}));
  EXPECT_TRUE(R.DeleteKey("Beta"));  // relative, with its subkeys
  EXPECT_EQ(R.GetKeyNames().size(), 2u);
  EXPECT_FALSE(R.KeyExists(std::string(this->Root) + "\\List\\Beta"));
  EXPECT_FALSE(R.DeleteKey(std::string(this->Root) + "\\List\\Beta"));
}

TYPED_TEST_P(RegistryContract, DatabaseEnginePath) {
  auto& R = *this->Reg;
  R.SetRootKey(RegistryRoot::LocalMachine);
  R.DeleteKey("\\SOFTWARE\\Borland\\Database Engine");
  EXPECT_EQ(setup::ReadBdeDllPath(R), "");
  setup::WriteBdeDllPath(R, "C:\\BDE");
  ASSERT_TRUE(R.OpenKey("\\SOFTWARE\\Borland\\Database Engine", false));
  EXPECT_EQ(R.ReadString("DLLPATH"), "C:\\BDE\\");
  R.WriteString("DLLPATH", "C:\\Other");
  EXPECT_EQ(setup::ReadBdeDllPath(R), "C:\\Other\\");
  setup::WriteBdeDllPath(R, "D:\\Shared\\BDE\\");
  EXPECT_EQ(setup::ReadBdeDllPath(R), "D:\\Shared\\BDE\\");
  R.DeleteKey("\\SOFTWARE\\Borland");
}

REGISTER_TYPED_TEST_SUITE_P(RegistryContract, OpenCreatesOnlyWhenAsked, RelativeAndAbsolutePaths,
                            StringsAndNumbersRoundTrip, MissingAndMistypedValues, WritesFailWithoutWritableKey,
                            EnumerationAndDeletion, DatabaseEnginePath);

}  // namespace registry_contract
