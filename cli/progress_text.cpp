#include "progress_text.h"

namespace cli {

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

}  // namespace

std::size_t displayLength(const std::string& text) {
    std::size_t length = 0;
    for (char c : text) {
        if (!isContinuationByte(c)) {
            ++length;
        }
    }
    return length;
}

std::string fitToWidth(const std::string& line, std::size_t sourceStart, int columns) {
    if (columns <= 1 || displayLength(line) < static_cast<std::size_t>(columns)) {
        return line;
    }
    const std::size_t room = static_cast<std::size_t>(columns) - 1;
    const std::string head = line.substr(0, sourceStart);
    const std::string marker = "...";
    const std::size_t headLength = displayLength(head);
    if (headLength + marker.size() >= room) {
        // Too narrow for any of the source: cut the line itself at a character boundary.
        std::size_t end = 0;
        for (std::size_t cells = 0; end < line.size() && cells < room; ++cells) {
            ++end;
            while (end < line.size() && isContinuationByte(line[end])) {
                ++end;
            }
        }
        return line.substr(0, end);
    }
    // Keep the end of the source: the file name is what tells the jobs apart.
    std::size_t keep = room - headLength - marker.size();
    std::size_t start = line.size();
    while (start > sourceStart && keep > 0) {
        --start;
        while (start > sourceStart && isContinuationByte(line[start])) {
            --start;
        }
        --keep;
    }
    return head + marker + line.substr(start);
}

}  // namespace cli
