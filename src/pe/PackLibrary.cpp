// packlibrary LIBRARY OUTPUT: the cabinet library in the packed form that setup programs carry
// (see system/Inflate.h); the build runs it once on Cabinet.dll.
#include <exception>
#include <iostream>

#include "system/Files.h"
#include "system/Inflate.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: packlibrary LIBRARY OUTPUT\n";
    return 2;
  }
  try {
    const std::string Library = setup::LoadBytesFromFile(argv[1]);
    const std::string Packed = setup::PackLibrary(Library);
    if (setup::UnpackLibrary(Packed) != Library) throw std::runtime_error("the packed form does not unpack to the library");
    setup::SaveBytesToFile(argv[2], Packed);
    return 0;
  } catch (const std::exception& Error) {
    std::cerr << "packlibrary: " << argv[1] << ": " << Error.what() << "\n";
    return 1;
  }
}
