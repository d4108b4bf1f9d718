#pragma once
// The installation directory page's folder tree: My Computer, its drives and their folders,
// filled as the user opens them, with the shell's icons.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace setup {

class TFolderTree {
 public:
  TFolderTree() = default;
  TFolderTree(const TFolderTree&) = delete;
  TFolderTree& operator=(const TFolderTree&) = delete;

  // Creates the tree view as a child of Parent, still empty; the place is in pixels at 96 DPI.
  void Create(HWND Parent, int Left, int Top, int Width, int Height, int Id);
  // Adds My Computer and its drives. Asking the shell for icons and drive names is slow (a
  // network or Unix drive answers late), so it waits until the tree is first shown.
  void Fill();
  bool Filled() const { return FRoot != nullptr; }
  // Selects the folder Path (opening the folders on the way; filling the tree first). False,
  // with the selection unchanged, when some part of the path is not an existing folder.
  bool SelectPath(const std::string& Path);
  // The selected folder's path ("C:\" for a drive, no trailing backslash below it); empty for
  // My Computer or no selection.
  std::string SelectedPath() const;
  // The parent forwards the tree's notifications here; true when it was one of ours.
  bool Notify(const NMHDR& Header);

  HWND Handle = nullptr;

 private:
  HTREEITEM AddItem(HTREEITEM Parent, const std::wstring& Text, const std::wstring& Path, bool HasChildren);
  void FillChildren(HTREEITEM Item);
  HTREEITEM FindChild(HTREEITEM Parent, const std::wstring& Name) const;
  const std::wstring& ItemPath(HTREEITEM Item) const;

  HTREEITEM FRoot = nullptr;
  // Item data are indexes into this list; the empty path is My Computer.
  std::vector<std::wstring> FPaths;
  std::vector<bool> FFilled;
};

}  // namespace setup
