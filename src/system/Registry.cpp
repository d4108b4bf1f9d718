#include "Registry.h"

#include <algorithm>

#include "Encoding.h"
#include "Errors.h"
#include "Text.h"

namespace setup {

std::vector<std::uint8_t> RegistryStringData(const std::string& Utf8) {
  const std::u16string Wide = Utf8ToUtf16(Utf8);
  std::vector<std::uint8_t> Data;
  Data.reserve((Wide.size() + 1) * 2);
  for (const char16_t C : Wide) {
    Data.push_back(static_cast<std::uint8_t>(C & 0xFF));
    Data.push_back(static_cast<std::uint8_t>(C >> 8));
  }
  Data.push_back(0);
  Data.push_back(0);
  return Data;
}

std::string RegistryStringText(const std::vector<std::uint8_t>& Data) {
  std::u16string Wide;
  Wide.reserve(Data.size() / 2);
  for (std::size_t I = 0; I + 1 < Data.size(); I += 2) {
    const char16_t C = static_cast<char16_t>(Data[I] | (Data[I + 1] << 8));
    if (C == 0) break;  // the stored text ends at its first zero
    Wide.push_back(C);
  }
  return Utf16ToUtf8(Wide);
}

void IRegistry::SetRootKey(RegistryRoot Root) {
  CloseKey();
  FRoot = Root;
}

std::string IRegistry::Resolve(const std::string& Key) const {
  std::string Path;
  const bool Absolute = !Key.empty() && Key.front() == '\\';
  if (!Absolute && FOpen) Path = FCurrentPath;
  // Join, dropping empty parts so that "\A\\B\" and "A\B" name the same key.
  std::size_t I = 0;
  while (I <= Key.size()) {
    auto End = Key.find('\\', I);
    if (End == std::string::npos) End = Key.size();
    if (End > I) {
      if (!Path.empty()) Path.push_back('\\');
      Path.append(Key, I, End - I);
    }
    I = End + 1;
  }
  return Path;
}

bool IRegistry::Open(const std::string& Key, bool CanCreate, bool ReadOnly) {
  const std::string Path = Resolve(Key);
  CloseKey();
  if (Watch && CanCreate && !RawKeyExists(FRoot, Path)) {
    // The missing keys from the first one that is missing down to Path.
    std::size_t From = 0;
    for (std::size_t At = Path.find('\\'); At != std::string::npos; At = Path.find('\\', At + 1)) {
      if (RawKeyExists(FRoot, Path.substr(0, At))) From = At + 1;
      else break;
    }
    for (std::size_t At = Path.find('\\', From); At != std::string::npos; At = Path.find('\\', At + 1))
      Watch->KeyCreating(FRoot, Path.substr(0, At));
    Watch->KeyCreating(FRoot, Path);
  }
  if (!RawOpen(FRoot, Path, CanCreate, ReadOnly)) return false;
  FOpen = true;
  FCurrentPath = Path;
  return true;
}

bool IRegistry::OpenKey(const std::string& Key, bool CanCreate) { return Open(Key, CanCreate, false); }

bool IRegistry::OpenKeyReadOnly(const std::string& Key) { return Open(Key, false, true); }

void IRegistry::CloseKey() {
  if (FOpen) RawClose();
  FOpen = false;
  FCurrentPath.clear();
  FTold.clear();
}

bool IRegistry::KeyExists(const std::string& Key) { return RawKeyExists(FRoot, Resolve(Key)); }

std::vector<std::string> IRegistry::GetKeyNames() { return FOpen ? RawSubKeys() : std::vector<std::string>{}; }

std::vector<std::string> IRegistry::GetValueNames() {
  return FOpen ? RawValueNames() : std::vector<std::string>{};
}

bool IRegistry::ValueExists(const std::string& Name) {
  std::uint32_t Type;
  std::vector<std::uint8_t> Data;
  return FOpen && RawQuery(Name, Type, Data);
}

std::string IRegistry::ReadString(const std::string& Name) {
  std::uint32_t Type;
  std::vector<std::uint8_t> Data;
  if (!FOpen || !RawQuery(Name, Type, Data) || Data.empty()) return {};
  if (Type != regString && Type != regExpandString) throw Exception(FormatMessage1("Invalid data type for '%s'", Name));
  return RegistryStringText(Data);
}

std::string IRegistry::ReadStringOrEmpty(const std::string& Name) {
  try {
    return ReadString(Name);
  } catch (const Exception&) {
    return {};
  }
}

void IRegistry::TellChange(const std::string& Name) {
  if (!Watch || !FOpen || FTold.count(Name)) return;
  std::uint32_t Type = 0;
  std::vector<std::uint8_t> Data;
  const bool Existed = RawQuery(Name, Type, Data);
  Watch->ValueChanging(FRoot, FCurrentPath, Name, Existed, Type, Data, true);
}

void IRegistry::WillChange(const std::vector<std::string>& Names) {
  if (!Watch || !FOpen) return;
  for (std::size_t I = 0; I < Names.size(); ++I) {
    std::uint32_t Type = 0;
    std::vector<std::uint8_t> Data;
    const bool Existed = RawQuery(Names[I], Type, Data);
    Watch->ValueChanging(FRoot, FCurrentPath, Names[I], Existed, Type, Data, I + 1 == Names.size());
  }
  FTold.insert(Names.begin(), Names.end());
}

bool IRegistry::ReadRaw(const std::string& Name, std::uint32_t& Type, std::vector<std::uint8_t>& Data) {
  return FOpen && RawQuery(Name, Type, Data);
}

bool IRegistry::WriteRaw(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data) {
  TellChange(Name);
  return FOpen && RawSet(Name, Type, Data);
}

void IRegistry::WriteString(const std::string& Name, const std::string& Value) {
  TellChange(Name);
  if (!FOpen || !RawSet(Name, regString, RegistryStringData(Value)))
    throw Exception(FormatMessage1("Failed to set data for '%s'", Name));
}

std::int32_t IRegistry::ReadInteger(const std::string& Name) {
  std::uint32_t Type;
  std::vector<std::uint8_t> Data;
  // The system reads into a four-byte buffer: longer data fails before the type is looked at.
  if (!FOpen || !RawQuery(Name, Type, Data) || Data.size() > 4)
    throw Exception(FormatMessage1("Failed to get data for '%s'", Name));
  if (Type != regDword) throw Exception(FormatMessage1("Invalid data type for '%s'", Name));
  std::uint32_t Value = 0;
  for (std::size_t I = 0; I < Data.size(); ++I) Value |= static_cast<std::uint32_t>(Data[I]) << (8 * I);
  return static_cast<std::int32_t>(Value);
}

void IRegistry::WriteInteger(const std::string& Name, std::int32_t Value) {
  const auto V = static_cast<std::uint32_t>(Value);
  const std::vector<std::uint8_t> Data = {static_cast<std::uint8_t>(V), static_cast<std::uint8_t>(V >> 8),
                                          static_cast<std::uint8_t>(V >> 16), static_cast<std::uint8_t>(V >> 24)};
  TellChange(Name);
  if (!FOpen || !RawSet(Name, regDword, Data)) throw Exception(FormatMessage1("Failed to set data for '%s'", Name));
}

void IRegistry::WriteBinaryData(const std::string& Name, const std::vector<std::uint8_t>& Data) {
  TellChange(Name);
  if (!FOpen || !RawSet(Name, regBinary, Data)) throw Exception(FormatMessage1("Failed to set data for '%s'", Name));
}

bool IRegistry::DeleteValue(const std::string& Name) {
  TellChange(Name);
  return FOpen && RawDeleteValue(Name);
}

bool IRegistry::DeleteKey(const std::string& Key) {
  const std::string Path = Resolve(Key);
  if (Path.empty()) return false;
  return RawDeleteKey(FRoot, Path);
}

// ---------------------------------------------------------------------------------------------
// MemoryRegistry

namespace {
std::string Folded(const std::string& Name) {
  // Registry names compare without letter case; ASCII folding covers every name we use.
  std::string Result = Name;
  for (auto& C : Result)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return Result;
}
}  // namespace

struct MemoryRegistry::Key {
  struct Value {
    std::string Name;
    std::uint32_t Type;
    std::vector<std::uint8_t> Data;
  };
  std::string Name;
  std::map<std::string, std::unique_ptr<Key>> SubKeys;  // by folded name: sorted enumeration
  std::vector<Value> Values;                            // in creation order

  Value* FindValue(const std::string& ValueName) {
    const std::string F = Folded(ValueName);
    for (auto& V : Values)
      if (Folded(V.Name) == F) return &V;
    return nullptr;
  }
};

namespace {
bool Contains(const MemoryRegistry::Key* Tree, const MemoryRegistry::Key* Wanted) {
  if (!Wanted) return false;
  if (Tree == Wanted) return true;
  for (const auto& [Name, Sub] : Tree->SubKeys)
    if (Contains(Sub.get(), Wanted)) return true;
  return false;
}
}  // namespace

MemoryRegistry::MemoryRegistry()
    : FLocalMachine(std::make_unique<Key>()), FCurrentUser(std::make_unique<Key>()), FLocalMachine64(std::make_unique<Key>()) {}
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Key* MemoryRegistry::Find(RegistryRoot Root, const std::string& Path, bool Create) {
  Key* K = Root == RegistryRoot::LocalMachine ? FLocalMachine.get()
           : Root == RegistryRoot::CurrentUser ? FCurrentUser.get()
                                               : FLocalMachine64.get();
  std::size_t I = 0;
  while (K && I < Path.size()) {
    auto End = Path.find('\\', I);
    if (End == std::string::npos) End = Path.size();
    const std::string Part = Path.substr(I, End - I);
    auto& Slot = K->SubKeys[Folded(Part)];
    if (!Slot) {
      if (!Create) {
        K->SubKeys.erase(Folded(Part));
        return nullptr;
      }
      Slot = std::make_unique<Key>();
      Slot->Name = Part;
    }
    K = Slot.get();
    I = End + 1;
  }
  return K;
}

bool MemoryRegistry::RawOpen(RegistryRoot Root, const std::string& Path, bool Create, bool ReadOnly) {
  FCurrent = Find(Root, Path, Create);
  FReadOnly = ReadOnly;
  return FCurrent != nullptr;
}

void MemoryRegistry::RawClose() { FCurrent = nullptr; }

bool MemoryRegistry::RawKeyExists(RegistryRoot Root, const std::string& Path) { return Find(Root, Path, false) != nullptr; }

bool MemoryRegistry::RawQuery(const std::string& Name, std::uint32_t& Type, std::vector<std::uint8_t>& Data) {
  if (!FCurrent) return false;
  const auto* V = FCurrent->FindValue(Name);
  if (!V) return false;
  Type = V->Type;
  Data = V->Data;
  return true;
}

bool MemoryRegistry::RawSet(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data) {
  if (!FCurrent || FReadOnly) return false;
  if (auto* V = FCurrent->FindValue(Name)) {
    V->Type = Type;
    V->Data = Data;
  } else {
    FCurrent->Values.push_back({Name, Type, Data});
  }
  return true;
}

std::vector<std::string> MemoryRegistry::RawSubKeys() {
  std::vector<std::string> Names;
  if (FCurrent)
    for (const auto& [Folded, K] : FCurrent->SubKeys) Names.push_back(K->Name);
  return Names;
}

std::vector<std::string> MemoryRegistry::RawValueNames() {
  std::vector<std::string> Names;
  if (FCurrent)
    for (const auto& V : FCurrent->Values) Names.push_back(V.Name);
  return Names;
}

bool MemoryRegistry::RawDeleteValue(const std::string& Name) {
  if (!FCurrent || FReadOnly) return false;
  const std::string F = Folded(Name);
  auto& Values = FCurrent->Values;
  const auto It = std::find_if(Values.begin(), Values.end(), [&](const Key::Value& V) { return Folded(V.Name) == F; });
  if (It == Values.end()) return false;
  Values.erase(It);
  return true;
}

bool MemoryRegistry::RawDeleteKey(RegistryRoot Root, const std::string& Path) {
  const auto Split = Path.rfind('\\');
  Key* Parent = Split == std::string::npos ? Find(Root, "", false) : Find(Root, Path.substr(0, Split), false);
  if (!Parent) return false;
  const std::string Leaf = Split == std::string::npos ? Path : Path.substr(Split + 1);
  const auto It = Parent->SubKeys.find(Folded(Leaf));
  if (It == Parent->SubKeys.end()) return false;
  // Deleting the open key (or an ancestor) leaves the handle pointing at nothing, like the
  // system's handle to a deleted key: further reads fail.
  if (Contains(It->second.get(), FCurrent)) FCurrent = nullptr;
  Parent->SubKeys.erase(It);
  return true;
}

}  // namespace setup
