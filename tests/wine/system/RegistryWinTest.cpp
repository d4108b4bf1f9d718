#include "shared/RegistryContract.h"
#include "system/RegistryWin.h"

namespace {
struct SystemStore {
  static std::unique_ptr<setup::IRegistry> Make() { return std::make_unique<setup::RegistryWin>(); }
};
}  // namespace

namespace registry_contract {
INSTANTIATE_TYPED_TEST_SUITE_P(System, RegistryContract, ::testing::Types<SystemStore>);

// What the memory store claims about the system's registry, checked on the real one.
TEST(SystemRegistry, StringsAreStoredAsWideText) {
  setup::RegistryWin R;
  R.SetRootKey(RegistryRoot::CurrentUser);
  ASSERT_TRUE(R.OpenKey(TestKey() + "\\Raw", true));
  R.WriteString("Name", "Щит");
  R.CloseKey();
  HKEY Key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\SetupEngineTests\\StringsAreStoredAsWideText\\Raw", 0, KEY_READ, &Key), ERROR_SUCCESS);
  wchar_t Buffer[16] = {};
  DWORD Size = sizeof(Buffer), Type = 0;
  EXPECT_EQ(RegQueryValueExW(Key, L"Name", nullptr, &Type, reinterpret_cast<BYTE*>(Buffer), &Size), ERROR_SUCCESS);
  RegCloseKey(Key);
  EXPECT_EQ(Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(Buffer), L"Щит");
  EXPECT_EQ(Size, 8u);
  R.DeleteKey(TestKey());
}
}  // namespace registry_contract
