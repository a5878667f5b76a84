#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform.h"

#ifdef _WIN32
#include <process.h>
#endif

namespace testing_support {

// A std::filesystem path for a UTF-8 path, on every platform (a plain std::string is taken
// in the ANSI code page on Windows).
inline std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 text of a std::filesystem path.
inline std::string utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        static std::atomic<unsigned> serial{0};
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            const auto candidate =
                base / ("kestrova-" + std::to_string(_getpid()) + "-" + std::to_string(serial++));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = utf8Path(candidate);
                break;
            }
            if (error) {
                std::abort();
            }
        }
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(fsPath(path_), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(fsPath(path_), ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const {
        return path_;
    }
    // A path inside the folder; '/' in name separates folders on every platform.
    std::string file(const std::string& name) const {
        std::string full = path_ + platform::kPathSeparator + name;
        for (std::size_t i = path_.size(); i < full.size(); ++i) {
            if (full[i] == '/') {
                full[i] = platform::kPathSeparator;
            }
        }
        return full;
    }

    // Writes a file and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string full = file(name);
        std::ofstream(fsPath(full), std::ios::binary) << content;
        return full;
    }

private:
    std::string path_;
};

// Files (not folders) under a folder, so a test can show that no script or log stayed behind.
inline std::vector<std::string> filesUnder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

inline std::string readAll(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Points the per-user data folder at a private folder for the life of the object.
class ScopedDataHome {
public:
#ifdef _WIN32
    explicit ScopedDataHome(const std::string& folder) {
        platform::setDataFolderOverride(folder);
    }
    ~ScopedDataHome() {
        platform::setDataFolderOverride({});
    }
#else
    explicit ScopedDataHome(const std::string& folder) {
        const char* old = std::getenv("XDG_DATA_HOME");
        if (old != nullptr) {
            saved_ = old;
            hadValue_ = true;
        }
        setenv("XDG_DATA_HOME", folder.c_str(), 1);
    }
    ~ScopedDataHome() {
        if (hadValue_) {
            setenv("XDG_DATA_HOME", saved_.c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }
#endif
    ScopedDataHome(const ScopedDataHome&) = delete;
    ScopedDataHome& operator=(const ScopedDataHome&) = delete;

private:
    std::string saved_;
    bool hadValue_ = false;
};

}  // namespace testing_support
