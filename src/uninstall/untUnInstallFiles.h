#pragma once
// The uninstall list: what one installation put on the machine, kept as items while the run
// goes on and stored as name=value lines for the uninstaller.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace setup {

// Ordered name=value lines. The first "=" of a line separates name and value; lookup ignores
// letter case; setting an empty value removes the line; setting a new name appends a line.
class TNameValueList {
 public:
  void Clear() { FLines.clear(); }
  std::size_t Count() const { return FLines.size(); }
  const std::string& Line(std::size_t Index) const { return FLines.at(Index); }

  std::string Value(const std::string& Name) const;
  void SetValue(const std::string& Name, const std::string& Value);
  // SetValue for a name the list does not hold yet, without looking for it: a line at the end,
  // none for an empty value. Writing a long list this way takes linear time.
  void Append(const std::string& Name, const std::string& Value);
  // Every line followed by CR LF.
  std::string Text() const;
  // Lines split at CR LF, CR or LF.
  static TNameValueList FromText(const std::string& Text);

 private:
  int IndexOfName(const std::string& Name) const;
  std::vector<std::string> FLines;
};

class TUnInstallFile;
class TUnInstallDir;

class TUnInstallCustom {
 public:
  virtual ~TUnInstallCustom() = default;
  // Writes the item's keys for item number Index, which Strings does not hold yet.
  virtual void SaveToStrings(TNameValueList& Strings, int Index) const = 0;
  // The item as a file or a folder; null when it is the other kind. (The shipped programs are
  // built without run-time type information, which would cost them a few kilobytes.)
  virtual const TUnInstallFile* AsFile() const { return nullptr; }
  virtual const TUnInstallDir* AsDir() const { return nullptr; }
};

class TUnInstallFile : public TUnInstallCustom {
 public:
  TUnInstallFile(std::string FileName, std::uint8_t SharedFile, std::uint8_t UnRegister, std::string RunParams)
      : FileName(std::move(FileName)), SharedFile(SharedFile), UnRegister(UnRegister), RunParams(std::move(RunParams)) {}
  // Raises "'x' is not a valid integer value." when a numeric key is missing or not decimal.
  static std::unique_ptr<TUnInstallFile> CreateFromStrings(const TNameValueList& Strings, int Index);
  void SaveToStrings(TNameValueList& Strings, int Index) const override;
  const TUnInstallFile* AsFile() const override { return this; }

  std::string FileName;
  std::uint8_t SharedFile;
  std::uint8_t UnRegister;
  std::string RunParams;
};

class TUnInstallDir : public TUnInstallCustom {
 public:
  TUnInstallDir(std::string DirName, std::uint8_t UnInstallWhole)
      : DirName(std::move(DirName)), UnInstallWhole(UnInstallWhole) {}
  static std::unique_ptr<TUnInstallDir> CreateFromStrings(const TNameValueList& Strings, int Index);
  void SaveToStrings(TNameValueList& Strings, int Index) const override;
  const TUnInstallDir* AsDir() const override { return this; }

  std::string DirName;
  std::uint8_t UnInstallWhole;
};

// Owns its items.
class TUnInstallList {
 public:
  int Add(std::unique_ptr<TUnInstallCustom> Item);
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises "List index out of bounds (%d)" for an index outside the list.
  TUnInstallCustom& Items(int Index) const;
  void Clear() { FItems.clear(); }
  // KeepResponding, when set, is called every few thousand items of a long list.
  void SaveToStrings(TNameValueList& Strings, const std::function<void()>& KeepResponding = {}) const;

 private:
  std::vector<std::unique_ptr<TUnInstallCustom>> FItems;
};

}  // namespace setup
