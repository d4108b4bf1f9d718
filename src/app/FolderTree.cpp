#include "app/FolderTree.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "app/AppWin.h"
#include "system/WideWin.h"

namespace setup {
namespace {

int SystemIconIndex(const std::wstring& Path, bool Open) {
  SHFILEINFOW Info{};
  UINT Flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (Open ? SHGFI_OPENICON : 0);
  if (Path.empty()) {
    TScopedItemIdList Computer;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, Computer.Receive()))) return 0;
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(Computer.Get()), 0, &Info, sizeof(Info), Flags | SHGFI_PIDL);
  } else {
    SHGetFileInfoW(Path.c_str(), 0, &Info, sizeof(Info), Flags);
  }
  return Info.iIcon;
}

std::wstring ComputerName() {
  TScopedItemIdList Computer;
  SHFILEINFOW Info{};
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, Computer.Receive())))
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(Computer.Get()), 0, &Info, sizeof(Info), SHGFI_PIDL | SHGFI_DISPLAYNAME);
  return Info.szDisplayName[0] ? Info.szDisplayName : L"Мой компьютер";
}

// Folders as the user sees them: no "." and "..", nothing hidden by the system.
std::vector<std::wstring> SubFolders(const std::wstring& Path) {
  std::vector<std::wstring> Names;
  WIN32_FIND_DATAW Data;
  std::wstring Pattern = Path;
  if (Pattern.back() != L'\\') Pattern += L'\\';
  // Closed however the walk ends (a name that finds no memory throws).
  const TScopedFind Find(FindFirstFileExW((Pattern + L"*").c_str(), FindExInfoStandard, &Data,
                                          FindExSearchLimitToDirectories, nullptr, 0));
  if (!Find) return Names;
  do {
    const std::wstring Name = Data.cFileName;
    if (!(Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || Name == L"." || Name == L"..") continue;
    if ((Data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) && (Data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM)) continue;
    Names.push_back(Name);
  } while (FindNextFileW(Find.Get(), &Data));
  std::sort(Names.begin(), Names.end(), [](const std::wstring& A, const std::wstring& B) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.c_str(), -1, B.c_str(), -1) == CSTR_LESS_THAN;
  });
  return Names;
}

bool SameName(const std::wstring& A, const std::wstring& B) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.c_str(), -1, B.c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

void TFolderTree::Create(HWND Parent, int Left, int Top, int Width, int Height, int Id) {
  Handle = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS,
                           Scaled(Left), Scaled(Top), Scaled(Width), Scaled(Height), Parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr), nullptr);
}

void TFolderTree::Fill() {
  if (FRoot) return;
  SHFILEINFOW Info{};
  auto Images = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"C:\\", 0, &Info, sizeof(Info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (Images) TreeView_SetImageList(Handle, Images, TVSIL_NORMAL);
  FRoot = AddItem(TVI_ROOT, ComputerName(), L"", true);
  FillChildren(FRoot);
  TreeView_Expand(Handle, FRoot, TVE_EXPAND);
}

HTREEITEM TFolderTree::AddItem(HTREEITEM Parent, const std::wstring& Text, const std::wstring& Path,
                               bool HasChildren) {
  FPaths.push_back(Path);
  FFilled.push_back(false);
  TVINSERTSTRUCTW Insert{};
  Insert.hParent = Parent;
  Insert.hInsertAfter = TVI_LAST;
  Insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  Insert.item.pszText = const_cast<wchar_t*>(Text.c_str());
  Insert.item.lParam = static_cast<LPARAM>(FPaths.size() - 1);
  Insert.item.cChildren = HasChildren ? 1 : 0;
  Insert.item.iImage = SystemIconIndex(Path, false);
  Insert.item.iSelectedImage = Path.size() > 3 ? SystemIconIndex(Path, true) : Insert.item.iImage;
  return TreeView_InsertItem(Handle, &Insert);
}

const std::wstring& TFolderTree::ItemPath(HTREEITEM Item) const {
  static const std::wstring None;
  TVITEMW Data{};
  Data.mask = TVIF_PARAM;
  Data.hItem = Item;
  if (!Item || !TreeView_GetItem(Handle, &Data)) return None;
  const auto Index = static_cast<std::size_t>(Data.lParam);
  return Index < FPaths.size() ? FPaths[Index] : None;
}

void TFolderTree::FillChildren(HTREEITEM Item) {
  TVITEMW Data{};
  Data.mask = TVIF_PARAM;
  Data.hItem = Item;
  if (!TreeView_GetItem(Handle, &Data)) return;
  const auto Index = static_cast<std::size_t>(Data.lParam);
  if (FFilled[Index]) return;
  FFilled[Index] = true;
  const std::wstring Path = FPaths[Index];
  if (Path.empty()) {
    const DWORD Drives = GetLogicalDrives();
    for (int Letter = 0; Letter < 26; ++Letter) {
      if (!(Drives & (1u << Letter))) continue;
      const std::wstring Root = std::wstring(1, static_cast<wchar_t>(L'A' + Letter)) + L":\\";
      SHFILEINFOW Info{};
      SHGetFileInfoW(Root.c_str(), 0, &Info, sizeof(Info), SHGFI_DISPLAYNAME);
      AddItem(Item, Info.szDisplayName[0] ? Info.szDisplayName : Root.substr(0, 2), Root, true);
    }
    return;
  }
  const std::vector<std::wstring> Names = SubFolders(Path);
  for (const std::wstring& Name : Names) {
    std::wstring Child = Path;
    if (Child.back() != L'\\') Child += L'\\';
    AddItem(Item, Name, Child + Name, true);
  }
  if (Names.empty()) {
    TVITEMW NoChildren{};
    NoChildren.mask = TVIF_CHILDREN;
    NoChildren.hItem = Item;
    NoChildren.cChildren = 0;
    TreeView_SetItem(Handle, &NoChildren);
  }
}

HTREEITEM TFolderTree::FindChild(HTREEITEM Parent, const std::wstring& Name) const {
  for (HTREEITEM Child = TreeView_GetChild(Handle, Parent); Child; Child = TreeView_GetNextSibling(Handle, Child)) {
    std::wstring Path = ItemPath(Child);
    if (!Path.empty() && Path.back() == L'\\') Path.pop_back();
    const std::size_t Slash = Path.find_last_of(L'\\');
    const std::wstring Last = Slash == std::wstring::npos ? Path : Path.substr(Slash + 1);
    if (SameName(Path.size() == 2 ? Path : Last, Name)) return Child;
  }
  return nullptr;
}

bool TFolderTree::SelectPath(const std::string& Utf8Path) {
  std::wstring Path = ToWide(Utf8Path);
  // Only absolute paths on a drive can be found in the tree.
  if (Path.size() < 2 || Path[1] != L':') return false;
  Fill();
  std::vector<std::wstring> Parts;
  std::size_t Start = 0;
  while (Start <= Path.size()) {
    const std::size_t Slash = Path.find(L'\\', Start);
    const std::wstring Part = Path.substr(Start, Slash == std::wstring::npos ? std::wstring::npos : Slash - Start);
    if (!Part.empty()) Parts.push_back(Part);
    if (Slash == std::wstring::npos) break;
    Start = Slash + 1;
  }
  HTREEITEM Item = FRoot;
  for (const std::wstring& Part : Parts) {
    FillChildren(Item);
    Item = FindChild(Item, Part);
    if (!Item) return false;
  }
  TreeView_SelectItem(Handle, Item);
  TreeView_EnsureVisible(Handle, Item);
  return true;
}

std::string TFolderTree::SelectedPath() const {
  std::wstring Path = ItemPath(TreeView_GetSelection(Handle));
  if (Path.size() > 3 && Path.back() == L'\\') Path.pop_back();
  return FromWide(Path);
}

bool TFolderTree::Notify(const NMHDR& Header) {
  if (Header.hwndFrom != Handle) return false;
  if (Header.code == TVN_ITEMEXPANDINGW) {
    const auto& View = reinterpret_cast<const NMTREEVIEWW&>(Header);
    if (View.action & TVE_EXPAND) FillChildren(View.itemNew.hItem);
  }
  return true;
}

}  // namespace setup
