#pragma once
#include <windows.h>

#include "Registry.h"
#include "ScopedWin.h"

namespace setup {

// The system's registry through the wide API.
class RegistryWin : public IRegistry {
 public:
  RegistryWin() = default;
  ~RegistryWin() override;
  RegistryWin(const RegistryWin&) = delete;
  RegistryWin& operator=(const RegistryWin&) = delete;

 protected:
  bool RawOpen(RegistryRoot Root, const std::string& Path, bool Create, bool ReadOnly) override;
  void RawClose() override;
  bool RawKeyExists(RegistryRoot Root, const std::string& Path) override;
  bool RawQuery(const std::string& Name, std::uint32_t& Type, std::vector<std::uint8_t>& Data) override;
  bool RawSet(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data) override;
  std::vector<std::string> RawSubKeys() override;
  std::vector<std::string> RawValueNames() override;
  bool RawDeleteValue(const std::string& Name) override;
  bool RawDeleteKey(RegistryRoot Root, const std::string& Path) override;

 private:
  TScopedKey FKey;
};

}  // namespace setup
