// The owners of system handles, watched through the system itself: a freed handle is one the
// system no longer knows.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "system/ScopedWin.h"

namespace setup {
namespace {

bool Open(HANDLE Handle) {
  DWORD Flags = 0;
  return GetHandleInformation(Handle, &Flags) != 0;
}

bool Exists(HGDIOBJ Object) { return GetObjectType(Object) != 0; }

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandles, KernelHandleClosedOnceAndHandedOverByMoveAndRelease) {
  const HANDLE First = NewEvent(), Second = NewEvent();
  ASSERT_TRUE(Open(First) && Open(Second));
  {
    HandleGuard A(First);
    HandleGuard B(std::move(A));
    EXPECT_FALSE(A.Valid());
    A.Reset();  // holds nothing: closes nothing
    EXPECT_TRUE(Open(First));
    B = std::move(B);  // onto itself: still held
    EXPECT_TRUE(Open(First));
    // Given another, it closes the first at once.
    B.Reset(Second);
    EXPECT_FALSE(Open(First));
    EXPECT_TRUE(Open(Second));
    HandleGuard C(NewEvent());
    const HANDLE Third = C.Get();
    C = std::move(B);  // the one C held goes, Second moves on
    EXPECT_FALSE(Open(Third));
    EXPECT_TRUE(Open(Second));
  }
  EXPECT_FALSE(Open(Second));

  // Released, the handle is the caller's: still open after the guard has gone.
  HANDLE Kept;
  {
    HandleGuard Guard(NewEvent());
    Kept = Guard.Release();
    EXPECT_FALSE(Guard);
  }
  EXPECT_TRUE(Open(Kept));
  EXPECT_TRUE(CloseHandle(Kept));

  // Both kinds of "no handle" are none: not valid, nothing closed.
  EXPECT_FALSE(HandleGuard(INVALID_HANDLE_VALUE).Valid());
  EXPECT_FALSE(HandleGuard().Valid());
}

TEST(ScopedHandles, GuardsInAGrowingListCloseEachHandleOnce) {
  // A list moves its guards as it grows; each handle must still be closed exactly once.
  std::vector<HANDLE> Raw;
  {
    std::vector<HandleGuard> List;
    for (int I = 0; I < 20; ++I) {
      List.emplace_back(NewEvent());
      Raw.push_back(List.back().Get());
    }
    List.erase(List.begin() + 3);
    EXPECT_FALSE(Open(Raw[3]));
    for (int I = 0; I < 20; ++I) {
      if (I != 3) EXPECT_TRUE(Open(Raw[I])) << I;
    }
  }
  for (HANDLE Each : Raw) EXPECT_FALSE(Open(Each));
}

TEST(ScopedHandles, GdiObjectsAndDcsFreedWithTheSelectionUndoneFirst) {
  HBITMAP Bitmap;
  HDC Dc;
  HBRUSH Brush;
  {
    const TScopedMemoryDC Memory(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(Memory);
    Dc = Memory.Get();
    const TScopedBitmap Picture(CreateCompatibleBitmap(Memory.Get(), 8, 8));
    Bitmap = Picture.Get();
    const TScopedBrush Fill(CreateSolidBrush(RGB(1, 2, 3)));
    Brush = Fill.Get();
    const HGDIOBJ Before = GetCurrentObject(Dc, OBJ_BITMAP);
    {
      const TSelection Selected(Dc, Bitmap);
      EXPECT_EQ(GetCurrentObject(Dc, OBJ_BITMAP), Bitmap);
    }
    EXPECT_EQ(GetCurrentObject(Dc, OBJ_BITMAP), Before);
    // Selected again for the end of the scope: the selection is undone before the bitmap and
    // the DC are freed (guards go in reverse order), or the bitmap could not be deleted.
    const TSelection Selected(Dc, Bitmap);
    EXPECT_TRUE(Exists(Bitmap) && Exists(Brush) && Exists(Dc));
  }
  EXPECT_FALSE(Exists(Bitmap));
  EXPECT_FALSE(Exists(Brush));
  EXPECT_FALSE(Exists(Dc));

  // Release hands a font over; Reset frees the one held.
  TScopedFont Font(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
  const HFONT Kept = Font.Release();
  Font.Reset(CreateFontW(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
  const HFONT Held = Font.Get();
  Font.Reset();
  EXPECT_FALSE(Exists(Held));
  EXPECT_TRUE(Exists(Kept));
  DeleteObject(Kept);
}

TEST(ScopedHandles, SearchesKeysAndLibrariesClosed) {
  WIN32_FIND_DATAW Found;
  HANDLE Search;
  {
    const TScopedFind Find(FindFirstFileW(L"C:\\windows\\*", &Found));
    ASSERT_TRUE(Find);
    Search = Find.Get();
    EXPECT_TRUE(FindNextFileW(Search, &Found));
  }
  EXPECT_FALSE(FindNextFileW(Search, &Found));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(TScopedFind(INVALID_HANDLE_VALUE));

  HKEY Key;
  {
    TScopedKey Software;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, Software.Receive()), ERROR_SUCCESS);
    Key = Software.Get();
    EXPECT_EQ(RegQueryInfoKeyW(Key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
  }
  EXPECT_NE(RegQueryInfoKeyW(Key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);

  // A library loaded only by the guard is gone from the process with it.
  ASSERT_EQ(GetModuleHandleW(L"msacm32.dll"), nullptr) << "loaded already; pick another library";
  {
    const TScopedLibrary Library(LoadLibraryW(L"msacm32.dll"));
    ASSERT_TRUE(Library);
    EXPECT_EQ(GetModuleHandleW(L"msacm32.dll"), Library.Get());
  }
  EXPECT_EQ(GetModuleHandleW(L"msacm32.dll"), nullptr);
}

}  // namespace
}  // namespace setup
