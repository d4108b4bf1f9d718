#pragma once
// Owners of the system's handles: each frees its handle exactly once, when it goes out of scope
// or is given another, whatever way the scope is left. Move-only; Release hands the handle over
// to whoever frees it instead.
#include <windows.h>
#include <objbase.h>
#include <shtypes.h>

namespace setup {

template <class Traits>
class TScoped {
 public:
  using Type = typename Traits::Type;

  TScoped() = default;
  explicit TScoped(Type Value) : FValue(Value) {}
  ~TScoped() { Reset(); }
  TScoped(const TScoped&) = delete;
  TScoped& operator=(const TScoped&) = delete;
  TScoped(TScoped&& Other) noexcept : FValue(Other.Release()) {}
  TScoped& operator=(TScoped&& Other) noexcept {
    if (this != &Other) Reset(Other.Release());
    return *this;
  }

  Type Get() const { return FValue; }
  bool Valid() const { return Traits::Valid(FValue); }
  explicit operator bool() const { return Valid(); }
  // Gives the handle up: the guard holds none and frees nothing.
  Type Release() {
    const Type Value = FValue;
    FValue = Traits::None();
    return Value;
  }
  // Frees the handle held (unless it is Value itself) and takes Value.
  void Reset(Type Value = Traits::None()) {
    const Type Old = FValue;
    FValue = Value;
    if (Old != Value && Traits::Valid(Old)) Traits::Free(Old);
  }
  // For functions that return the handle through an argument: frees the one held first.
  Type* Receive() {
    Reset();
    return &FValue;
  }

 private:
  Type FValue = Traits::None();
};

namespace scoped {
// Kernel objects: files, processes, threads, events, mutexes, tokens. Functions differ in what
// they return for none (null or INVALID_HANDLE_VALUE); both mean nothing to close.
struct KernelHandle {
  using Type = HANDLE;
  static Type None() { return nullptr; }
  static bool Valid(Type H) { return H && H != INVALID_HANDLE_VALUE; }
  static void Free(Type H) { CloseHandle(H); }
};
// A search of FindFirstFile: closed with FindClose, never with CloseHandle.
struct FindHandle : KernelHandle {
  static void Free(Type H) { FindClose(H); }
};
// The kinds below have null for none.
template <class Handle>
struct NullMeansNone {
  using Type = Handle;
  static Type None() { return nullptr; }
  static bool Valid(Type H) { return H != nullptr; }
};
// Bitmaps, fonts, brushes, pens: must not be selected into a DC when freed.
template <class Object>
struct GdiObject : NullMeansNone<Object> {
  static void Free(Object H) { DeleteObject(H); }
};
// A DC of CreateCompatibleDC or CreateDC.
struct MemoryDC : NullMeansNone<HDC> {
  static void Free(Type H) { DeleteDC(H); }
};
// An item id list the shell allocated (SHGetSpecialFolderLocation, SHBrowseForFolder).
struct ItemIdList : NullMeansNone<LPITEMIDLIST> {
  static void Free(Type H) { CoTaskMemFree(H); }
};
// Memory the system allocated for the caller with LocalAlloc (FormatMessage, SID texts).
struct LocalMemory : NullMeansNone<HLOCAL> {
  static void Free(Type H) { LocalFree(H); }
};
// A library of LoadLibrary.
struct Library : NullMeansNone<HMODULE> {
  static void Free(Type H) { FreeLibrary(H); }
};
struct RegistryKey : NullMeansNone<HKEY> {
  static void Free(Type H) { RegCloseKey(H); }
};
}  // namespace scoped

using HandleGuard = TScoped<scoped::KernelHandle>;
using TScopedFind = TScoped<scoped::FindHandle>;
using TScopedBitmap = TScoped<scoped::GdiObject<HBITMAP>>;
using TScopedFont = TScoped<scoped::GdiObject<HFONT>>;
using TScopedBrush = TScoped<scoped::GdiObject<HBRUSH>>;
using TScopedPen = TScoped<scoped::GdiObject<HPEN>>;
using TScopedMemoryDC = TScoped<scoped::MemoryDC>;
using TScopedItemIdList = TScoped<scoped::ItemIdList>;
using TScopedKey = TScoped<scoped::RegistryKey>;
using TScopedLocal = TScoped<scoped::LocalMemory>;
using TScopedLibrary = TScoped<scoped::Library>;

// A window's DC (GetDC), given back to that window. Null: the screen's.
class TWindowDC {
 public:
  explicit TWindowDC(HWND Wnd = nullptr) : FWnd(Wnd), FDC(GetDC(Wnd)) {}
  ~TWindowDC() {
    if (FDC) ReleaseDC(FWnd, FDC);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return FDC; }

 private:
  HWND FWnd;
  HDC FDC;
};

// An object selected into a DC for the length of a scope: the DC's earlier one comes back
// before the object or the DC can be freed.
class TSelection {
 public:
  TSelection(HDC Dc, HGDIOBJ Object) : FDC(Dc), FOld(SelectObject(Dc, Object)) {}
  ~TSelection() {
    if (FOld) SelectObject(FDC, FOld);
  }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

}  // namespace setup
