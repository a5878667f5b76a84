#include "progress_text.h"

#include <utility>

#include "platform.h"

namespace cli {

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// Length of the valid UTF-8 sequence at the text's start; 0 when it is not one.
std::size_t sequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;  // the second byte's range; the rest are plain continuation bytes
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (!isContinuationByte(text[k])) {
            return 0;
        }
    }
    return length;
}

std::string hexEscape(std::string_view bytes) {
    std::string text;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        text += "\\x";
        text += hexBytes(bytes.substr(k, 1));
    }
    return text;
}

// The printed form of the character at the text's start, and how many bytes it took.
std::pair<std::string, std::size_t> printedPiece(std::string_view text) {
    const std::size_t length = sequenceLength(text);
    if (length == 0) {
        return {hexEscape(text.substr(0, 1)), 1};
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead == '\n') {
        return {"\\n", 1};
    }
    const bool control =
        lead < 0x20 || lead == 0x7F || (lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0);
    if (control) {
        return {hexEscape(text.substr(0, length)), length};
    }
    return {std::string(text.substr(0, length)), length};
}

}  // namespace

std::string hexBytes(std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * bytes.size());
    for (const char c : bytes) {
        const auto value = static_cast<unsigned char>(c);
        text += kDigits[value >> 4];
        text += kDigits[value & 0xF];
    }
    return text;
}

std::optional<std::string> repairedUtf8(std::string_view text) {
    std::string result;
    bool repaired = false;
    while (!text.empty()) {
        const std::size_t length = sequenceLength(text);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            repaired = true;
        } else {
            result += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return repaired ? std::optional<std::string>(std::move(result)) : std::nullopt;
}

std::string printable(std::string_view name) {
    std::string result;
    result.reserve(name.size());
    auto piece = name.empty() ? std::pair<std::string, std::size_t>() : printedPiece(name);
    while (!name.empty()) {
        name.remove_prefix(piece.second);
        auto next = name.empty() ? std::pair<std::string, std::size_t>() : printedPiece(name);
        // Windows names hold no control characters, and their separators stay single.
        if (platform::kPathSeparator != '\\' && piece.first == "\\") {
            const char following = next.first.empty() ? '\0' : next.first.front();
            if (following == 'x' || following == 'n' || following == '\\') {
                result += '\\';
            }
        }
        result += piece.first;
        piece = std::move(next);
    }
    return result;
}

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
