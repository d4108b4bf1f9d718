#include "ShellLinkWin.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <windows.h>

#include "Paths.h"
#include "WideWin.h"

namespace setup {

namespace {

// COM stays initialised exactly as long as one shortcut is being written.
class ComSession {
 public:
  ComSession() : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComSession() {
    if (Ready()) CoUninitialize();
  }
  ComSession(const ComSession&) = delete;
  ComSession& operator=(const ComSession&) = delete;
  bool Ready() const { return FResult == S_OK || FResult == S_FALSE; }

 private:
  HRESULT FResult;
};

template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (FPointer) FPointer->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  Interface* operator->() const { return FPointer; }
  Interface* Get() const { return FPointer; }
  void** Out() { return reinterpret_cast<void**>(&FPointer); }

 private:
  Interface* FPointer = nullptr;
};

}  // namespace

void CreateShellLink(const std::string& Target, const std::string& Arguments, const std::string& LinkFile,
                     const std::string& Description) {
  try {
    ComSession Com;
    if (!Com.Ready()) return;
    ComRef<IShellLinkW> Link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, Link.Out())))
      return;
    Link->SetDescription(ToWide(Description).c_str());
    Link->SetPath(ToWide(Target).c_str());
    Link->SetArguments(ToWide(Arguments).c_str());
    // For a folder target this is its parent folder.
    Link->SetWorkingDirectory(ToWide(ExtractFilePath(Target)).c_str());
    ComRef<IPersistFile> File;
    if (FAILED(Link->QueryInterface(IID_IPersistFile, File.Out()))) return;
    File->Save(ToWide(LinkFile).c_str(), TRUE);
  } catch (...) {
  }
}

}  // namespace setup
