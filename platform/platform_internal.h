#pragma once

// What the platform sources share among themselves.

#include <string_view>

namespace platform {

// Where debug text goes when no sink has been installed.
void writeDefaultDebug(std::string_view text);

}  // namespace platform
