#pragma once
// The state pictures of the component tree and the 1C tree.
#include <windows.h>
#include <commctrl.h>

namespace setup {

// Six 16 x 16 pictures, drawn here (larger above 96 DPI: 16 pixels at 96 DPI, see Scaled): 0 an
// empty box, 1 a box with a black tick, 2 an empty box, 3 a box with a grey tick, 4 a
// 1C:Enterprise 7.x emblem, 5 a 1C:Enterprise 8 emblem.
// Index 0 is never shown (a tree takes state 0 for "no picture"), so a group's state 1..3
// picks its box directly. For TVM_SETIMAGELIST with TVSIL_STATE; the caller owns the list
// (ImageList_Destroy). Null when the list cannot be made.
HIMAGELIST CreateStateImages();

}  // namespace setup
