// The functions setup.exe takes from ole32.dll and shell32.dll, bound at their first call
// instead of when the program is loaded: neither library (nor the half dozen they bring with
// them) is needed before the wizard's first page, and loading them made the start slower.
// The program's code calls them as imported functions; this file gives each import slot a
// first value that finds the function in the system folder, puts it into the slot and goes on
// into it with the caller's arguments. (Built without link-time optimisation: the slots are
// defined in assembly, where only the linker sees them.)
#include <windows.h>

#include "system/SystemLibraryWin.h"

// Slot N ("__imp_" and the function's name) holds stub N until its function is found. The
// stubs keep the caller's stack as it is; the functions are stdcall, so no register carries an
// argument. The name itself jumps through the slot, as an import library's entry does.
#define SETUP_LAZY(N, Name)                                                        \
  ".section .data$setup_lazy\n.globl __imp_" Name "\n__imp_" Name ":\n.long 1f\n" \
  ".text\n.globl " Name "\n" Name ":\njmp *__imp_" Name "\n1: pushl $" #N "\njmp _setup_lazy_call\n"

asm(SETUP_LAZY(0, "_CoCreateInstance@20")
    SETUP_LAZY(1, "_CoInitializeEx@8")
    SETUP_LAZY(2, "_CoTaskMemFree@4")
    SETUP_LAZY(3, "_CoUninitialize@0")
    SETUP_LAZY(4, "_OleInitialize@4")
    SETUP_LAZY(5, "_OleUninitialize@0")
    SETUP_LAZY(6, "_SHBrowseForFolderW@4")
    SETUP_LAZY(7, "_SHGetFileInfoW@20")
    SETUP_LAZY(8, "_SHGetPathFromIDListEx@16")
    SETUP_LAZY(9, "_SHGetSpecialFolderLocation@12")
    SETUP_LAZY(10, "_ShellExecuteW@24")
    ".text\n"
    "_setup_lazy_call:\n"
    "  call _setup_lazy_bind\n"  // cdecl: the slot's number stays on the stack for it
    "  addl $4, %esp\n"
    "  jmp *%eax\n");

extern "C" {

extern FARPROC setup_lazy_slots[] asm("__imp__CoCreateInstance@20");

// The function of slot Number, now also in its slot. The slots lie in one section in the order
// above (the linker keeps the order of one object's section).
__attribute__((used)) FARPROC setup_lazy_bind(int Number) {
  static const char* const Names[] = {"CoCreateInstance", "CoInitializeEx", "CoTaskMemFree", "CoUninitialize",
                                      "OleInitialize", "OleUninitialize", "SHBrowseForFolderW", "SHGetFileInfoW",
                                      "SHGetPathFromIDListEx", "SHGetSpecialFolderLocation", "ShellExecuteW"};
  const FARPROC Function = setup::SystemLibraryFunction(Number < 6 ? L"ole32.dll" : L"shell32.dll", Names[Number]);
  // Both are part of every Windows: a system without them cannot run the program at all.
  if (!Function) FatalAppExitA(0, Names[Number]);
  setup_lazy_slots[Number] = Function;
  return Function;
}
}
