#include "trust/sodium_init.h"

#include <sodium.h>

namespace ovix {

bool SodiumReady() {
  // sodium_init may be called from several threads; the first call does the work.
  static const bool ready = sodium_init() >= 0;
  return ready;
}

}  // namespace ovix
