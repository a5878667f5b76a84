#include "file_types.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> splitTypes(std::string_view types) {
    std::vector<std::string> tokens;
    std::size_t start = 0;
    while (start < types.size()) {
        const auto separator = types.find(';', start);
        const auto end = separator == std::string_view::npos ? types.size() : separator;
        tokens.emplace_back(types.substr(start, end - start));
        start = end + 1;
    }
    return tokens;
}

}  // namespace

bool isAcceptedFile(std::string_view path, std::string_view types) {
    if (types.empty()) {
        return true;
    }
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    std::string extension(path.substr(dot));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    for (const std::string& token : splitTypes(types)) {
        if (extension.find(token) != std::string::npos) {
            return true;
        }
    }
    return false;
}
