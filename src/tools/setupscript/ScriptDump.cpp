// The model as JSON, every field under its name in the model.
#include <cstdio>

#include "ScriptTool.h"
#include "model/untData.h"

namespace setup {
namespace {

std::string JsonString(std::string_view S) {
  std::string Out = "\"";
  for (const char C : S) {
    const auto B = static_cast<unsigned char>(C);
    switch (C) {
      case '"': Out += "\\\""; break;
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      case '\t': Out += "\\t"; break;
      default:
        if (B < 0x20) {
          char Buffer[8];
          std::snprintf(Buffer, sizeof Buffer, "\\u%04x", B);
          Out += Buffer;
        } else {
          Out.push_back(C);
        }
    }
  }
  return Out + "\"";
}

// Writes one JSON object or array at a time, with one member per line.
class JsonWriter {
 public:
  std::string Text;

  void Open(std::string_view Name, char Bracket) {
    Begin(Name);
    Text.push_back(Bracket);
    FFirst.push_back(true);
  }
  void Close(char Bracket) {
    const bool Empty = FFirst.back();
    FFirst.pop_back();
    if (!Empty) NewLine();
    Text.push_back(Bracket);
  }
  void Str(std::string_view Name, std::string_view Value) {
    Begin(Name);
    Text += JsonString(Value);
  }
  void Int(std::string_view Name, long long Value) {
    Begin(Name);
    Text += std::to_string(Value);
  }
  void Bool(std::string_view Name, bool Value) {
    Begin(Name);
    Text += Value ? "true" : "false";
  }
  void Null(std::string_view Name) {
    Begin(Name);
    Text += "null";
  }
  void Strings(std::string_view Name, const std::vector<std::string>& Values) {
    Open(Name, '[');
    for (const auto& V : Values) Str({}, V);
    Close(']');
  }

 private:
  void NewLine() {
    Text.push_back('\n');
    Text.append(2 * FFirst.size(), ' ');
  }
  void Begin(std::string_view Name) {
    if (!FFirst.empty()) {
      if (!FFirst.back()) Text.push_back(',');
      FFirst.back() = false;
      NewLine();
    }
    if (!Name.empty()) Text += JsonString(Name) + ": ";
  }
  std::vector<bool> FFirst;
};

template <class T>
void Ref(JsonWriter& W, std::string_view Name, const T* Record) {
  if (Record)
    W.Int(Name, Record->ItemNo);
  else
    W.Null(Name);
}

void Products(JsonWriter& W, std::string_view Name, const TOwnedList<T1SInfo>& List) {
  W.Open(Name, '[');
  for (const auto& P : List) {
    W.Open({}, '{');
    W.Str("Name", P->Name);
    W.Str("Path", P->Path);
    W.Bool("Selected", P->Selected);
    W.Close('}');
  }
  W.Close(']');
}

}  // namespace

std::string DumpModel(const TInstallInfo& Info, const std::string& StopMessage, int StopLine) {
  JsonWriter W;
  W.Open({}, '{');
  if (!StopMessage.empty()) {
    W.Open("error", '{');
    W.Str("message", StopMessage);
    W.Int("line", StopLine);
    W.Close('}');
  }
  const auto Problems = Info.FindModelProblems();
  if (!Problems.empty()) {
    W.Open("rejected", '[');
    for (const auto& P : Problems) {
      W.Open({}, '{');
      W.Str("message", P.Message);
      W.Int("line", P.LineNo);
      W.Int("item", P.ItemNo);
      W.Close('}');
    }
    W.Close(']');
  }
  W.Int("LineCount", static_cast<long long>(Info.Lines.size()));
  W.Str("Description", Info.Description);
  W.Bool("Dialog1S", Info.Dialog1S);
  W.Bool("DialogReboot", Info.DialogReboot);
  W.Bool("DialogReadme", Info.DialogReadme);
  W.Bool("DialogLicense", Info.DialogLicense);
  W.Bool("UnInstall", Info.UnInstall);
  W.Strings("Readme", Info.Readme);
  W.Strings("License", Info.License);
  W.Str("InstallDir", Info.InstallDir);
  W.Str("Directory", Info.Directory);
  W.Str("DownloadWebPage", Info.DownloadWebPage);
  W.Bool("SelectDirectoryFrom1C", Info.SelectDirectoryFrom1C);
  W.Int("GroupDirectory", Info.GroupDirectory);
  W.Str("ProgramGroup", Info.ProgramGroup);
  W.Str("GroupName", Info.GroupName);
  W.Bool("TypicalInstall", Info.TypicalInstall);
  W.Bool("MinimalInstall", Info.MinimalInstall);
  W.Bool("CustomInstall", Info.CustomInstall);
  W.Bool("FullInstall", Info.FullInstall);
  W.Bool("DialogGroup", Info.DialogGroup);
  W.Open("UnInstallInfo", '{');
  W.Str("ListFileName", Info.UnInstallInfo.ListFileName);
  W.Str("ProductName", Info.UnInstallInfo.ProductName);
  W.Str("ProductID", Info.UnInstallInfo.ProductID);
  W.Str("Version", Info.UnInstallInfo.ProductTexts[ptVersion]);
  W.Str("Publisher", Info.UnInstallInfo.ProductTexts[ptPublisher]);
  W.Str("UrlInfoAbout", Info.UnInstallInfo.ProductTexts[ptUrlInfoAbout]);
  W.Close('}');
  W.Int("GroupUnInstallPath", Info.GroupUnInstallPath);
  W.Str("NameFont", Info.NameFont);

  W.Open("Groups", '[');
  for (const auto& G : Info.Groups) {
    W.Open({}, '{');
    W.Int("Line", G->LineNo);
    W.Str("Caption", G->Caption);
    W.Int("State", G->State);
    W.Int("FolderKind", G->FolderKind);
    W.Int("ItemNo", G->ItemNo);
    W.Int("ParentNo", G->ParentNo);
    Ref(W, "Parent", G->Parent);
    W.Bool("Hidden", G->Hidden);
    W.Bool("InMinimal", G->InMinimal);
    W.Bool("InTypical", G->InTypical);
    W.Open("Depends", '[');
    for (const auto* D : G->Depends) W.Int({}, D->ItemNo);
    W.Close(']');
    W.Close('}');
  }
  W.Close(']');

  W.Open("Dirs", '[');
  for (const auto& D : Info.Dirs) {
    W.Open({}, '{');
    W.Int("Line", D->LineNo);
    W.Int("ItemNo", D->ItemNo);
    W.Int("ParentNo", D->ParentNo);
    Ref(W, "Group", D->Group);
    W.Str("Path", D->Path);
    W.Str("FullPath", D->FullPath);
    W.Bool("Register1C75", D->Register1C75);
    W.Bool("Register1C77", D->Register1C77);
    W.Str("CfgName", D->CfgName);
    W.Bool("UnInstallWhole", D->UnInstallWhole);
    W.Bool("MakeShortcut", D->MakeShortcut);
    W.Str("Shortcut", D->Shortcut);
    W.Close('}');
  }
  W.Close(']');

  W.Open("Files", '[');
  for (const auto& F : Info.Files) {
    W.Open({}, '{');
    W.Int("Line", F->LineNo);
    W.Int("ItemNo", F->ItemNo);
    W.Int("Size", F->Size);
    W.Int("ParentNo", F->ParentNo);
    Ref(W, "Group", F->Group);
    W.Bool("RegisterDll", F->RegisterDll);
    W.Bool("RegisterExe", F->RegisterExe);
    W.Int("Reserved17", F->Reserved17);
    W.Bool("DeleteAfter", F->DeleteAfter);
    W.Bool("MakeShortcut", F->MakeShortcut);
    W.Str("ShortcutParams", F->ShortcutParams);
    W.Bool("CopyTo1C75", F->CopyTo1C75);
    W.Bool("CopyTo1C77", F->CopyTo1C77);
    W.Bool("CopyTo1C8", F->CopyTo1C8);
    W.Str("Path", F->Path);
    W.Str("FullPath", F->FullPath);
    W.Str("Shortcut", F->Shortcut);
    W.Bool("CheckVersion", F->CheckVersion);
    W.Bool("SharedFile", F->SharedFile);
    W.Str("Version", F->Version);
    W.Bool("RunAfter", F->RunAfter);
    W.Bool("RunBefore", F->RunBefore);
    W.Bool("RunOnUninstall", F->RunOnUninstall);
    W.Str("RunParams", F->RunParams);
    W.Str("UninstallRunParams", F->UninstallRunParams);
    W.Close('}');
  }
  W.Close(']');

  W.Open("ExePaths", '[');
  for (const auto& E : Info.ExePaths) {
    W.Open({}, '{');
    W.Str("CommandLine", E->CommandLine);
    W.Close('}');
  }
  W.Close(']');
  Products(W, "Products75", Info.Products75);
  Products(W, "Products77", Info.Products77);
  Products(W, "Products8", Info.Products8);
  W.Close('}');
  W.Text.push_back('\n');
  return W.Text;
}

bool DumpScript(std::string_view Bytes, std::string& Json) {
  TInstallInfo Info;
  std::string StopMessage;
  int StopLine = 0;
  try {
    Info.LoadScript(Bytes);
  } catch (const EScriptError& E) {
    StopMessage = E.what();
    StopLine = E.LineNo();
  }
  Json = DumpModel(Info, StopMessage, StopLine);
  return StopMessage.empty() && Info.FindModelProblems().empty();
}

}  // namespace setup
