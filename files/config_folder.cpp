#include "files/config_folder.h"

#include <cstdlib>

namespace files {

namespace {

// The variable's value when it is an absolute path, else nothing.
const char* AbsolutePath(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value == '/' ? value : nullptr;
}

} // namespace

std::string ConfigFolder() {
    if (const char* config = AbsolutePath("XDG_CONFIG_HOME"))
        return std::string(config) + "/talvir";
    if (const char* home = AbsolutePath("HOME"))
        return std::string(home) + "/.config/talvir";
    return {};
}

} // namespace files
