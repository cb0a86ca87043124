#include "common/crypto/key_spec.h"

#include "common/support/random_bytes.h"

bool newHardenedSpec(KeySpec& spec) {
    spec = KeySpec{};
    spec.kind = KeyKind::kHardened;
    spec.cost = kDefaultHardenedCost;
    return randomBytes(spec.salt, sizeof spec.salt);
}
