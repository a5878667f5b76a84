// Child process runners. Placeholder until the process layer lands.

#include "convert_core.h"
#include "platform.h"

bool ConvertCore::runProcess(const std::string& /*commandLine*/) {
    lastExitStatus = -1;
    platform::debugWrite("CreateProcess\n");
    return false;
}

bool ConvertCore::runProcess2(const std::string& /*scriptPath*/, std::string* /*errorText*/) {
    platform::debugWrite("CreateProcess\n");
    return false;
}

void ConvertCore::pumpOutput(platform::Process& /*child*/) {}
