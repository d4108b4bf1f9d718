#pragma once
// The registry as the program sees it: one open key at a time on a chosen root, strings and
// 32-bit numbers. The semantics (paths, types, messages) live here once; a store supplies the
// raw operations. RegistryWin is the system's registry; MemoryRegistry keeps the same data
// model in memory for portable tests.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace setup {

// LocalMachine64 is the local machine's 64-bit view, which a 32-bit program on a 64-bit system
// reaches only by asking for it (the same keys as LocalMachine on a 32-bit system).
enum class RegistryRoot { LocalMachine, CurrentUser, LocalMachine64 };

// Value types as the system numbers them.
enum : std::uint32_t {
  regNone = 0, regString = 1, regExpandString = 2, regBinary = 3, regDword = 4, regMultiString = 7
};

// Told of every change before it is made, with what it replaces, so that it can be undone.
class IRegistryWatch {
 public:
  virtual ~IRegistryWatch() = default;
  // A value of Key is about to be set or deleted; Existed, Type and Data give its earlier state.
  // Settle: the change follows at once (false while the rest of a batch is told first).
  virtual void ValueChanging(RegistryRoot Root, const std::string& Key, const std::string& Name, bool Existed,
                             std::uint32_t Type, const std::vector<std::uint8_t>& Data, bool Settle) = 0;
  // Key does not exist and is about to be created (parents come first).
  virtual void KeyCreating(RegistryRoot Root, const std::string& Key) = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // When set, told of each change before it is made.
  IRegistryWatch* Watch = nullptr;

  // Switching the root closes the open key.
  void SetRootKey(RegistryRoot Root);

  // Opens Key with full access, creating it when CanCreate is set. A Key that begins with a
  // backslash (or any Key while no key is open) is taken from the root; otherwise it is
  // relative to the open key. The previously open key is closed. False when it cannot open.
  bool OpenKey(const std::string& Key, bool CanCreate);
  // Opens an existing key for reading only.
  bool OpenKeyReadOnly(const std::string& Key);
  void CloseKey();
  bool HasCurrentKey() const { return FOpen; }
  // The open key's path from the root, without leading backslash.
  const std::string& CurrentPath() const { return FCurrentPath; }

  bool KeyExists(const std::string& Key);
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();
  bool ValueExists(const std::string& Name);

  // A missing value reads as empty; a value that is not a string raises
  // "Invalid data type for '%s'".
  std::string ReadString(const std::string& Name);
  // Like ReadString, but a value of another type also reads as empty.
  std::string ReadStringOrEmpty(const std::string& Name);
  // Raises "Failed to set data for '%s'" when the value cannot be written.
  void WriteString(const std::string& Name, const std::string& Value);
  // A missing value, or data longer than four bytes, raises "Failed to get data for '%s'";
  // another type raises "Invalid data type for '%s'".
  std::int32_t ReadInteger(const std::string& Name);
  void WriteInteger(const std::string& Name, std::int32_t Value);
  // Raw bytes of type REG_BINARY.
  void WriteBinaryData(const std::string& Name, const std::vector<std::uint8_t>& Data);
  bool DeleteValue(const std::string& Name);
  // Deletes Key (relative like OpenKey) with its subkeys.
  bool DeleteKey(const std::string& Key);
  // A value of the open key as stored: false when it is missing.
  bool ReadRaw(const std::string& Name, std::uint32_t& Type, std::vector<std::uint8_t>& Data);
  bool WriteRaw(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data);
  // Tells the watch of the earlier state of these values of the open key at once, before any
  // of them is written, as one batch; writing them then tells nothing more until the key closes.
  void WillChange(const std::vector<std::string>& Names);

 protected:
  // Raw operations of a store. Paths are absolute from the root, parts separated by single
  // backslashes, no leading or trailing backslash. Strings are stored as the system stores
  // them: UTF-16LE with a terminating zero.
  virtual bool RawOpen(RegistryRoot Root, const std::string& Path, bool Create, bool ReadOnly) = 0;
  virtual void RawClose() = 0;
  virtual bool RawKeyExists(RegistryRoot Root, const std::string& Path) = 0;
  virtual bool RawQuery(const std::string& Name, std::uint32_t& Type, std::vector<std::uint8_t>& Data) = 0;
  virtual bool RawSet(const std::string& Name, std::uint32_t Type, const std::vector<std::uint8_t>& Data) = 0;
  virtual std::vector<std::string> RawSubKeys() = 0;
  virtual std::vector<std::string> RawValueNames() = 0;
  virtual bool RawDeleteValue(const std::string& Name) = 0;
  virtual bool RawDeleteKey(RegistryRoot Root, const std::string& Path) = 0;

 private:
  std::string Resolve(const std::string& Key) const;
  bool Open(const std::string& Key, bool CanCreate, bool ReadOnly);
  void TellChange(const std::string& Name);

  RegistryRoot FRoot = RegistryRoot::CurrentUser;
  bool FOpen = false;
  std::string FCurrentPath;
  std::set<std::string> FTold;  // of the open key, by WillChange
};

// The registry in memory: the same data model and behaviour as the system's (names compare
// without letter case, subkeys enumerate sorted, values in the order they were created).
class MemoryRegistry : public IRegistry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

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

 public:
  struct Key;

 private:
  Key* Find(RegistryRoot Root, const std::string& Path, bool Create);
  std::unique_ptr<Key> FLocalMachine;
  std::unique_ptr<Key> FCurrentUser;
  std::unique_ptr<Key> FLocalMachine64;
  Key* FCurrent = nullptr;
  bool FReadOnly = false;
};

// Data conversions shared by the stores and their tests.
std::vector<std::uint8_t> RegistryStringData(const std::string& Utf8);
std::string RegistryStringText(const std::vector<std::uint8_t>& Data);

}  // namespace setup
