#pragma once
// libsodium made ready once for the whole program.

namespace ovix {

// False when libsodium cannot be used (it found no source of randomness); then nothing
// can be checked, and every check fails.
bool SodiumReady();

}  // namespace ovix
