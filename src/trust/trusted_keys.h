#pragma once
// The public keys built into the program at configure time (OVIX_TRUSTED_KEYS).

#include <vector>

#include "trust/minisign.h"

namespace ovix {

// Empty unless keys were built in; then the service's answers must be signed by one of them.
std::vector<TPublicKey> BuiltInTrustedKeys();

}  // namespace ovix
