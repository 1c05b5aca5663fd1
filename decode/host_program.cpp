#include "decode/host_program.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace decode {

std::string HostProgram(const std::string& executablePath) {
    if (const char* chosen = std::getenv("TALVIR_DECODE"); chosen != nullptr && *chosen != '\0')
        return chosen;
    const std::filesystem::path folder = std::filesystem::path(executablePath).parent_path();
    const std::filesystem::path installed = folder / "../libexec/talvir/talvir-decode";
    const std::filesystem::path built = folder / "../decode/talvir-decode";
    std::error_code error;
    if (!std::filesystem::exists(installed, error) && std::filesystem::exists(built, error))
        return built.lexically_normal().string();
    return installed.lexically_normal().string();
}

} // namespace decode
