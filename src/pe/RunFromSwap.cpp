// runfromswap PROGRAM: marks a linked program to be run from the swap file when it is started
// from removable media or the network (the linker has no switch for it). The build runs it on
// every setup program right after the link.
#include <exception>
#include <iostream>

#include "pe/PeResources.h"
#include "system/Files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: runfromswap PROGRAM\n";
    return 2;
  }
  try {
    const setup::pe::TPeImage Image(setup::LoadBytesFromFile(argv[1]));
    setup::SaveBytesToFile(argv[1], Image.WithFileCharacteristics(setup::pe::cFileRemovableRunFromSwap |
                                                                 setup::pe::cFileNetRunFromSwap));
    return 0;
  } catch (const std::exception& Error) {
    std::cerr << "runfromswap: " << argv[1] << ": " << Error.what() << "\n";
    return 1;
  }
}
