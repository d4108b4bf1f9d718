#pragma once
// Files and folders in places where other accounts can write (the temporary folder), handled by
// a program that may run elevated. Nothing is followed through a link or junction: a folder is
// worked in only through a handle that was checked and is held, what lies inside is opened
// relative to that handle, and a handle counts only when the path it leads to is the one meant
// (where the system follows a link that was asked not to be followed, the handle leads
// elsewhere and is refused). Deleting goes through the handle of what is deleted.
#include <windows.h>

#include <string>
#include <vector>

#include "system/ScopedWin.h"

namespace setup {

// Where Handle leads now, as the system names it ("\\?\C:\...\name"); empty when unknown.
std::wstring HandlePath(HANDLE Handle);

// Opens (Disposition FILE_OPEN) or makes (FILE_CREATE, never an existing name) Name, a name
// without a backslash, inside the folder held as Folder, relative to that handle and without
// following a link named Name. Options are NtCreateFile's (FILE_DIRECTORY_FILE, ...);
// Security, when given, is the new object's descriptor. The handle returned leads to
// Folder's path + "\" + Name, or there is none and Error tells why.
HandleGuard OpenInFolder(HANDLE Folder, const std::wstring& Name, ACCESS_MASK Access, ULONG Share, ULONG Disposition,
                         ULONG Options, DWORD& Error, PSECURITY_DESCRIPTOR Security = nullptr);

// Opens the folder Path (a full path "X:\a\b" without "." or "..") one name at a time from
// its drive's root, each relative to the folder opened before it, as OpenInFolder opens: no
// link or junction on the way is followed, so the handle leads to Path itself or there is
// none and Error tells why (a link on the way: ERROR_CANT_RESOLVE_FILENAME). The last folder
// gets Access, those on the way only what walking through them needs.
HandleGuard OpenFolderPath(const std::wstring& Path, ACCESS_MASK Access, DWORD& Error);

struct TFolderEntry {
  std::wstring Name;
  DWORD Attributes;
};

// What lies directly inside the folder held as Folder (without "." and ".."), read through
// the handle, which needs FILE_LIST_DIRECTORY. ERROR_SUCCESS, or why it cannot be read.
DWORD ListFolder(HANDLE Folder, std::vector<TFolderEntry>& Entries);

// Opens the folder Name inside Parent to be emptied and deleted: a plain folder (no link or
// junction) owned by the current user, the Administrators or SYSTEM. The handle has DELETE
// and FILE_LIST_DIRECTORY access and is held without delete sharing: nobody renames or
// deletes the folder meanwhile. None when the folder is not such a one or is held that way by
// somebody else.
HandleGuard OpenOwnedFolder(HANDLE Parent, const std::wstring& Name);

// Deletes Name inside the folder held as Folder through a handle of its own, relative to
// Folder: a link goes as a link, never its target (where the system will not open the link
// itself, it stays). A folder that is not a link stays, unless EmptyFolder allows an empty
// one. ERROR_SUCCESS, or why Name is still there (with its read-only mark, if it had one).
DWORD DeleteInFolder(HANDLE Folder, const std::wstring& Name, bool EmptyFolder = false);

// Deletes every file (and link) directly inside the folder held as Folder as DeleteInFolder
// does, then marks the folder itself for deletion through Folder, which needs DELETE access:
// it goes when the handle is closed. A folder inside it stays, and so does it then.
// ERROR_SUCCESS, or why the folder stays.
DWORD DeleteHeldFolder(HANDLE Folder);

// The owner of what Handle (with READ_CONTROL) leads to is the Administrators or SYSTEM, or,
// unless AdministratorsOnly, the current user: nothing another account made and could still
// change (with AdministratorsOnly, nothing the user's unelevated programs could have made).
bool OwnedByUserOrSystem(HANDLE Handle, bool AdministratorsOnly = false);
// What A and B lead to (both opened with READ_CONTROL) have one owner.
bool SameOwner(HANDLE A, HANDLE B);

// The current user's SID as text ("S-1-5-21-..."), empty when it cannot be read.
std::wstring CurrentUserSid();

// True when this process runs with an elevated token (an administrator's full rights).
bool ProcessElevated();

}  // namespace setup
