#pragma once
// The folder of the program's per-user files: the settings file and the port map beside it.

#include <string>

namespace files {

// $XDG_CONFIG_HOME/talvir, else $HOME/.config/talvir; empty when neither variable names an
// absolute folder. A relative value is ignored, as the XDG base directory rule asks: it would
// name a different folder from every working directory.
std::string ConfigFolder();

} // namespace files
