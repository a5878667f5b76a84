#include "source_lines.h"

#include <algorithm>

#include "file_checks.h"
#include "platform.h"

namespace rules {

namespace {

unsigned char folded(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return folded(a) == folded(b); });
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '%' && k + 2 < text.size()) {
            const int high = hexDigit(text[k + 1]);
            const int low = hexDigit(text[k + 2]);
            if (high >= 0 && low >= 0) {
                bytes += static_cast<char>(high * 16 + low);
                k += 2;
                continue;
            }
        }
        bytes += text[k];
    }
    return bytes;
}

// "scheme:" as RFC 3986 spells one: a letter, then letters, digits, '+', '-' or '.'. A drive
// letter ("C:") is one letter only and never counts.
bool hasScheme(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) {
        return false;
    }
    for (std::size_t k = 0; k < colon; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(k > 0 && other)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool listsBefore(std::string_view a, std::string_view b) {
    const std::size_t shared = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < shared; ++k) {
        if (folded(a[k]) != folded(b[k])) {
            return folded(a[k]) < folded(b[k]);
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    // Equal but for case: the bytes decide, so that no two names are ever equals.
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

void ListedNames::add(const std::string& name) {
    ++counts_[name];
    ++lines_;
}

void ListedNames::remove(const std::string& name) {
    const auto found = counts_.find(name);
    if (found == counts_.end()) {
        return;
    }
    --lines_;
    if (--found->second <= 0) {
        counts_.erase(found);
    }
}

void ListedNames::clear() {
    counts_.clear();
    lines_ = 0;
}

bool ListedNames::contains(const std::string& name) const {
    return !name.empty() && counts_.contains(name);
}

std::optional<std::string> localFileFromUri(std::string_view uri) {
    constexpr std::string_view kScheme = "file:";
    if (!startsWithFolded(uri, kScheme)) {
        return std::nullopt;
    }
    std::string_view rest = uri.substr(kScheme.size());
    // Anything after '#' or '?' is no part of a file's name.
    rest = rest.substr(0, std::min(rest.find('#'), rest.find('?')));
    std::string host;
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        host = std::string(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (startsWithFolded(host, "localhost") && host.size() == 9) {
            host.clear();
        }
    }
    if (rest.empty() || rest.front() != '/') {
        return std::nullopt;
    }
    std::string path = percentDecoded(rest);
#ifdef _WIN32
    // "/C:/v/x.mkv" is the drive's path; a host is a share of the network.
    if (host.empty() && path.size() >= 3 && path[2] == ':') {
        path.erase(0, 1);
    } else if (!host.empty()) {
        path = "//" + percentDecoded(host) + path;
    }
    std::replace(path.begin(), path.end(), '/', '\\');
#else
    if (!host.empty()) {
        return std::nullopt;  // another machine's file
    }
#endif
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return path;
}

std::vector<std::string> localFilesFromUriList(std::string_view list) {
    std::vector<std::string> files;
    while (!list.empty()) {
        const auto end = list.find_first_of("\r\n");
        std::string_view line = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (auto file = localFileFromUri(line)) {
            files.push_back(std::move(*file));
        }
    }
    return files;
}

std::optional<std::string> commandLineFile(const std::string& argument) {
    if (argument.empty()) {
        return std::nullopt;
    }
    // A file whose name happens to read as an address is still that file.
    if (!platform::pathExists(argument) && hasScheme(argument)) {
        return localFileFromUri(argument);
    }
    return absolutePath(argument, {});
}

}  // namespace rules
