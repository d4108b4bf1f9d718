#pragma once
// Canonical paths and confinement: what elevated code decides about a path it did not make
// (an uninstall list, a script) is decided on one form of it, so that "C:\Prod\..\",
// "c:/prod/." and "C:\PROD" cannot pass a check that "C:\" or "C:\Prod" would fail.
// Pure text: short names are made long by the caller's system layer, which knows the disk.
#include <string>
#include <string_view>

namespace setup {

// Path for comparisons: letter case folded (ASCII and Cyrillic, as the file system ignores
// it), trailing backslash removed (but kept on a drive's root).
std::string FoldPath(std::string_view Path);

// Why a path has no canonical form.
enum class TPathRefusal {
  prNone,
  prEmpty,
  prNotFull,       // relative, "\folder" without a drive, or drive-relative "C:folder"
  prDeviceSpace,   // "\\?\...", "\\.\..." and the like: past the system's own checks
  prNetwork,       // "\\server\share\...": not a place a removal may reach
  prDeviceName,    // a component that names a device (CON, NUL, COM1, LPT1...)
  prBadCharacter,  // control characters, wildcards, quotes, or a colon past the drive
  prAboveRoot,     // ".." climbs above the drive's root
  prDotsOnly,      // a component of dots and blanks only ("...", ". ."), other than "." or ".."
};

// The canonical form of a full local path: "X:\a\b" with backslashes, no repeated or trailing
// separator (the root stays "X:\"), "." and ".." resolved, and the blanks and dots that end a
// component removed, as the system removes them when it opens the path ("C:\Windows." is
// "C:\Windows"). Letter case is kept. Refused forms leave Canonical empty.
TPathRefusal CanonicalPath(std::string_view Path, std::string& Canonical);
inline bool IsCanonicalizable(std::string_view Path) {
  std::string Ignored;
  return CanonicalPath(Path, Ignored) == TPathRefusal::prNone;
}

// "X:\" (or "X:"): a drive's root.
bool IsDriveRoot(std::string_view Path);

// True when the canonical Path lies strictly inside the canonical Folder (letter case
// ignored): "C:\A\b" is inside "C:\A" and "C:\", "C:\Ab" is not inside "C:\A".
bool IsInside(std::string_view Path, std::string_view Folder);
// Inside or the same folder.
bool IsSameOrInside(std::string_view Path, std::string_view Folder);

// True when a path text (as a script writes it: relative, with placeholders, "/" or "\"
// between names) has a component "." or "..", which would lead out of the folder it is
// resolved against.
bool HasDotComponent(std::string_view Path);

}  // namespace setup
