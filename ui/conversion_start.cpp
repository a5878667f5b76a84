#include "conversion_start.h"

#include "platform.h"
#include "converter.h"

// Placeholder until the progress window lands.
bool onConvert() {
    return false;
}

std::string buildToolPath() {
    return converter::toolPathIn(platform::executableFolder());
}

void selectFinishedItems() {}
