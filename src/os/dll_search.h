#pragma once
// Where the program looks for the DLLs it loads by name.

namespace ovix {

// From now on DLLs are looked for in the system directory only, never beside the program
// (a downloads folder may hold anything) nor in the current directory. Called first thing
// in main, before anything may load a DLL; systems without the narrow search at least drop
// the current directory.
void RestrictDllSearchToSystem();

}  // namespace ovix
