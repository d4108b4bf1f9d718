// packlibrary LIBRARY OUTPUT [DEFLATED]: the cabinet library in the packed form that setup
// programs carry (see system/Inflate.h); the build runs it once on Cabinet.dll.
#include <exception>
#include <iostream>

#include "system/Files.h"
#include "system/Inflate.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: packlibrary LIBRARY OUTPUT [DEFLATED]\n";
    return 2;
  }
  try {
    const std::string Library = setup::LoadBytesFromFile(argv[1]);
    std::string Packed = setup::PackLibrary(Library);
    // The library deflated by another tool: taken when it is smaller and unpacks to the library.
    if (argc == 4) {
      const std::string Other = Packed.substr(0, 4) + setup::LoadBytesFromFile(argv[3]);
      if (Other.size() < Packed.size() && setup::UnpackLibrary(Other) == Library) Packed = Other;
    }
    if (setup::UnpackLibrary(Packed) != Library) throw std::runtime_error("the packed form does not unpack to the library");
    setup::SaveBytesToFile(argv[2], Packed);
    return 0;
  } catch (const std::exception& Error) {
    std::cerr << "packlibrary: " << argv[1] << ": " << Error.what() << "\n";
    return 1;
  }
}
