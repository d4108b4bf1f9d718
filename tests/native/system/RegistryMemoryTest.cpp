#include "shared/RegistryContract.h"

namespace {
struct MemoryStore {
  static std::unique_ptr<setup::IRegistry> Make() { return std::make_unique<setup::MemoryRegistry>(); }
};
}  // namespace

namespace registry_contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RegistryContract, ::testing::Types<MemoryStore>);
}
