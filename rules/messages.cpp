#include "messages.h"

namespace rules {

std::string replaceQuestion(const std::string& outputPath) {
    return "'" + outputPath + "' already exists.\nDo you want to replace it?";
}

}  // namespace rules
