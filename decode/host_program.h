#pragma once
// Where the decoder host talvir-decode is, for the programs that start it.

#include <string>

namespace decode {

// The host program for the program at `executablePath`: TALVIR_DECODE where it is set and not
// empty; else ../libexec/talvir/talvir-decode beside the program's folder, as installed; else
// ../decode/talvir-decode, as in the build tree. Where neither exists, the installed path, which
// the start then reports as missing.
std::string HostProgram(const std::string& executablePath);

} // namespace decode
