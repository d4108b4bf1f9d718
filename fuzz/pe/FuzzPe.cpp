// Any file handed to mksetup as a stub: the reader must refuse it with EPeError or read it,
// never crash, hang or allocate without bound. What it reads must survive a rewrite: the
// rewritten file parses again and gives back the same resources.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pe/PeResources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace setup::pe;
  TResourceTable Table;
  std::string Rewritten;
  try {
    TPeImage Image(std::string(reinterpret_cast<const char*>(Data), Size));
    Table = Image.ReadResources();
    Table.Set(TResourceName::FromId(rtRcData), TResourceName::FromText("SCRIPT"), "DESCRIPTION = x\r\n");
    Rewritten = Image.WithResources(Table);
  } catch (const EPeError&) {
    return 0;
  }
  const TResourceTable Again = TPeImage(Rewritten).ReadResources();
  if (Again.Items.size() != Table.Items.size()) std::abort();
  for (const auto& R : Table.Items) {
    bool Found = false;
    for (const auto& A : Again.Items)
      Found |= A.Type == R.Type && A.Name == R.Name && A.Language == R.Language && A.Data == R.Data;
    if (!Found) std::abort();
  }
  return 0;
}
