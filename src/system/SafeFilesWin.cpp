#include "system/SafeFilesWin.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

namespace setup {

namespace {

bool SamePath(const std::wstring& A, const std::wstring& B) {
  return !A.empty() && CompareStringOrdinal(A.data(), static_cast<int>(A.size()), B.data(), static_cast<int>(B.size()),
                                            TRUE) == CSTR_EQUAL;
}

}  // namespace

bool OwnedByUserOrSystem(HANDLE Handle, bool AdministratorsOnly) {
  PSID Owner = nullptr;
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  if (GetSecurityInfo(Handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &Owner, nullptr, nullptr, nullptr,
                      &Descriptor) != ERROR_SUCCESS)
    return false;
  const TScopedLocal Owned(Descriptor);
  if (!Owner) return false;
  if (IsWellKnownSid(Owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(Owner, WinLocalSystemSid)) return true;
  TScopedLocal Text;
  if (AdministratorsOnly || !ConvertSidToStringSidW(Owner, reinterpret_cast<LPWSTR*>(Text.Receive()))) return false;
  const std::wstring User = CurrentUserSid();
  return !User.empty() && User == static_cast<const wchar_t*>(Text.Get());
}

bool SameOwner(HANDLE A, HANDLE B) {
  PSID Owners[2] = {};
  PSECURITY_DESCRIPTOR Descriptors[2] = {};
  for (int I = 0; I < 2; ++I)
    GetSecurityInfo(I ? B : A, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &Owners[I], nullptr, nullptr, nullptr,
                    &Descriptors[I]);
  const TScopedLocal First(Descriptors[0]), Second(Descriptors[1]);
  return Owners[0] && Owners[1] && EqualSid(Owners[0], Owners[1]);
}

std::wstring HandlePath(HANDLE Handle) {
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = GetFinalPathNameByHandleW(Handle, Path.data(), static_cast<DWORD>(Path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (Length == 0) return {};
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    Path.assign(Length + 1, L'\0');
  }
}

HandleGuard OpenInFolder(HANDLE Folder, const std::wstring& Name, ACCESS_MASK Access, ULONG Share, ULONG Disposition,
                         ULONG Options, DWORD& Error, PSECURITY_DESCRIPTOR Security) {
  Error = ERROR_INVALID_NAME;
  if (Name.empty() || Name == L"." || Name == L".." || Name.find_first_of(L"\\/") != std::wstring::npos ||
      Name.size() > 32767)
    return {};
  std::wstring Expected = HandlePath(Folder);
  if (Expected.empty()) {
    Error = ERROR_PATH_NOT_FOUND;
    return {};
  }
  if (Expected.back() != L'\\') Expected += L'\\';
  Expected += Name;
  UNICODE_STRING Text;
  Text.Buffer = const_cast<PWSTR>(Name.c_str());
  Text.Length = Text.MaximumLength = static_cast<USHORT>(Name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES Attributes;
  InitializeObjectAttributes(&Attributes, &Text, OBJ_CASE_INSENSITIVE, Folder, Security);
  IO_STATUS_BLOCK Status{};
  HandleGuard Result;
  // The relative name and the reparse-point option: neither a link in the folder's own path
  // nor one named Name is followed.
  const NTSTATUS Code =
      NtCreateFile(Result.Receive(), Access | SYNCHRONIZE, &Attributes, &Status, nullptr, FILE_ATTRIBUTE_NORMAL, Share,
                   Disposition, Options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (Code < 0) {
    Result.Release();  // nothing was opened
    Error = RtlNtStatusToDosError(Code);
    return {};
  }
  // Some systems (Wine) open a link's target even so: such a handle leads elsewhere.
  if (!SamePath(HandlePath(Result.Get()), Expected)) {
    Error = ERROR_CANT_RESOLVE_FILENAME;
    return {};
  }
  Error = ERROR_SUCCESS;
  return Result;
}

HandleGuard OpenFolderPath(const std::wstring& Path, ACCESS_MASK Access, DWORD& Error) {
  Error = ERROR_BAD_PATHNAME;
  if (Path.size() < 3 || Path[1] != L':' || Path[2] != L'\\') return {};
  constexpr ACCESS_MASK cWalk = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  constexpr ULONG cShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  std::size_t From = 3;
  const bool RootOnly = From >= Path.size();
  HandleGuard Folder(CreateFileW(Path.substr(0, 3).c_str(), RootOnly ? Access | cWalk : cWalk, cShare, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!Folder) {
    Error = GetLastError();
    return {};
  }
  Error = ERROR_SUCCESS;
  while (From < Path.size()) {
    std::size_t End = Path.find(L'\\', From);
    if (End == std::wstring::npos) End = Path.size();
    const bool Last = End + 1 >= Path.size();
    HandleGuard Next = OpenInFolder(Folder.Get(), Path.substr(From, End - From), Last ? Access | cWalk : cWalk, cShare,
                                    FILE_OPEN, FILE_DIRECTORY_FILE, Error);
    if (!Next) return {};
    // A junction opened as itself leads where it stands, but is no folder to work in.
    FILE_ATTRIBUTE_TAG_INFO Tag{};
    if (!GetFileInformationByHandleEx(Next.Get(), FileAttributeTagInfo, &Tag, sizeof Tag) ||
        (Tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      Error = ERROR_CANT_RESOLVE_FILENAME;
      return {};
    }
    Folder = std::move(Next);
    From = End + 1;
  }
  return Folder;
}

DWORD ListFolder(HANDLE Folder, std::vector<TFolderEntry>& Entries) {
  Entries.clear();
  std::vector<LONGLONG> Buffer(8192);  // 64 KB, aligned as the records need
  const DWORD Size = static_cast<DWORD>(Buffer.size() * sizeof(LONGLONG));
  // From the start, also on a handle that was listed before.
  FILE_INFO_BY_HANDLE_CLASS Class = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(Folder, Class, Buffer.data(), Size)) {
    Class = FileIdBothDirectoryInfo;
    const auto* At = reinterpret_cast<const unsigned char*>(Buffer.data());
    for (;;) {
      const auto* Record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(At);
      std::wstring Name(Record->FileName, Record->FileNameLength / sizeof(wchar_t));
      if (Name != L"." && Name != L"..") Entries.push_back({std::move(Name), Record->FileAttributes});
      if (Record->NextEntryOffset == 0) break;
      At += Record->NextEntryOffset;
    }
  }
  const DWORD Error = GetLastError();
  return Error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : Error;
}

HandleGuard OpenOwnedFolder(HANDLE Parent, const std::wstring& Name) {
  DWORD Error = ERROR_SUCCESS;
  HandleGuard Folder = OpenInFolder(Parent, Name, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, FILE_DIRECTORY_FILE, Error);
  if (!Folder) return {};
  FILE_ATTRIBUTE_TAG_INFO Tag{};
  if (!GetFileInformationByHandleEx(Folder.Get(), FileAttributeTagInfo, &Tag, sizeof Tag) ||
      !(Tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (Tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !OwnedByUserOrSystem(Folder.Get()))
    return {};
  return Folder;
}

DWORD DeleteInFolder(HANDLE Folder, const std::wstring& Name, bool EmptyFolder) {
  DWORD Error = ERROR_SUCCESS;
  const HandleGuard Item = OpenInFolder(
      Folder, Name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (EmptyFolder ? FILE_LIST_DIRECTORY : 0),
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, 0, Error);
  if (!Item) return Error;
  FILE_BASIC_INFO Basic{};
  if (!GetFileInformationByHandleEx(Item.Get(), FileBasicInfo, &Basic, sizeof Basic)) return GetLastError();
  // A folder is not emptied here; a junction (a link to a folder) holds nothing of its own.
  if (EmptyFolder && !(Basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
  if ((Basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(Basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    std::vector<TFolderEntry> Entries;
    if (!EmptyFolder || ListFolder(Item.Get(), Entries) != ERROR_SUCCESS || !Entries.empty())
      return ERROR_DIR_NOT_EMPTY;
  }
  FILE_BASIC_INFO Writable{};  // times of 0 stay as they are
  Writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  const bool ReadOnly = Basic.FileAttributes & FILE_ATTRIBUTE_READONLY;
  if (ReadOnly) SetFileInformationByHandle(Item.Get(), FileBasicInfo, &Writable, sizeof Writable);
  FILE_DISPOSITION_INFO Disposition{TRUE};
  if (SetFileInformationByHandle(Item.Get(), FileDispositionInfo, &Disposition, sizeof Disposition))
    return ERROR_SUCCESS;
  Error = GetLastError();
  // Still there (a running program): as it was.
  Writable.FileAttributes = Basic.FileAttributes;
  if (ReadOnly) SetFileInformationByHandle(Item.Get(), FileBasicInfo, &Writable, sizeof Writable);
  return Error;
}

DWORD DeleteHeldFolder(HANDLE Folder) {
  std::vector<TFolderEntry> Entries;
  if (const DWORD Error = ListFolder(Folder, Entries); Error != ERROR_SUCCESS) return Error;
  for (const TFolderEntry& Entry : Entries)
    if (!(Entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) || (Entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      DeleteInFolder(Folder, Entry.Name);
  FILE_DISPOSITION_INFO Disposition{TRUE};
  return SetFileInformationByHandle(Folder, FileDispositionInfo, &Disposition, sizeof Disposition) ? ERROR_SUCCESS
                                                                                                   : GetLastError();
}

std::wstring CurrentUserSid() {
  HandleGuard Token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, Token.Receive())) return {};
  DWORD Size = 0;
  GetTokenInformation(Token.Get(), TokenUser, nullptr, 0, &Size);
  if (Size == 0) return {};
  std::vector<unsigned char> Buffer(Size);
  if (!GetTokenInformation(Token.Get(), TokenUser, Buffer.data(), Size, &Size)) return {};
  TScopedLocal Text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(Buffer.data())->User.Sid,
                              reinterpret_cast<LPWSTR*>(Text.Receive())))
    return {};
  return static_cast<const wchar_t*>(Text.Get());
}

bool ProcessElevated() {
  HandleGuard Token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, Token.Receive())) return false;
  TOKEN_ELEVATION Elevation{};
  DWORD Size = 0;
  return GetTokenInformation(Token.Get(), TokenElevation, &Elevation, sizeof Elevation, &Size) &&
         Elevation.TokenIsElevated != 0;
}

}  // namespace setup
