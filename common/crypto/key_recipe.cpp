#include "common/crypto/key_recipe.h"

#include "common/support/random_bytes.h"

bool newHardenedRecipe(KeyRecipe& recipe) {
    recipe = KeyRecipe{};
    recipe.kind = KeyKind::kHardened;
    recipe.cost = kDefaultHardenedCost;
    return randomBytes(recipe.salt, sizeof recipe.salt);
}
