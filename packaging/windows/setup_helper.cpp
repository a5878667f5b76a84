// What the installer and the uninstaller cannot do safely in their own script language, whose
// strings end at 1024 characters (a longer PATH would be cut short and written back so):
//
//   kestrova-setup-helper path-add FOLDER       the folder at the end of the user's PATH
//   kestrova-setup-helper path-remove FOLDER    every entry naming it taken out again
//   kestrova-setup-helper find-ffmpeg ANSWER    the first ffmpeg.exe on PATH
//   kestrova-setup-helper version PROGRAM ANSWER    its -version line
//   kestrova-setup-helper running FOLDER ANSWER     the programs running from the folder
//
// A window-less program, so that no console flashes; answers are written to the file ANSWER in
// UTF-16 with a byte-order mark, one per line, for the script to read. Exit status 0 for yes
// (done, found, an ffmpeg, none running), 1 for no, 2 for a usage error.

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "path_list.h"

namespace {

constexpr wchar_t kEnvironmentKey[] = L"Environment";
constexpr wchar_t kPathValue[] = L"Path";
constexpr DWORD kVersionWait = 10000;

bool writeAnswer(const std::wstring& file, const std::vector<std::wstring>& lines) {
    std::wstring text = L"\xFEFF";
    for (const std::wstring& line : lines) {
        text += line + L"\r\n";
    }
    HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const auto size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(out, text.data(), size, &written, nullptr) && written == size;
    CloseHandle(out);
    return ok;
}

std::wstring expandEnvironment(const std::wstring& text) {
    const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    std::wstring expanded(size, L'\0');
    const DWORD length =
        size > 0 ? ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size) : 0;
    if (length == 0 || length > size) {
        return text;
    }
    expanded.resize(length - 1);
    return expanded;
}

// The folder in the form the system reports for running programs: full, long names.
std::wstring fullFolder(const std::wstring& folder) {
    std::wstring full(32768, L'\0');
    DWORD length =
        GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return folder;
    }
    full.resize(length);
    std::wstring longer(32768, L'\0');
    length = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    if (length > 0 && length < longer.size()) {
        longer.resize(length);
        full = longer;
    }
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    return full;
}

// Reads the user's PATH and its type; a missing value reads as an empty one.
bool readUserPath(HKEY key, std::wstring& value, DWORD& type) {
    DWORD size = 0;
    type = REG_EXPAND_SZ;
    LSTATUS status = RegQueryValueExW(key, kPathValue, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        value.clear();
        type = REG_EXPAND_SZ;
        return true;
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = RegQueryValueExW(key, kPathValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                              &size);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') {
        data.pop_back();
    }
    value = data;
    return true;
}

int editUserPath(const std::wstring& folder, bool add) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kEnvironmentKey, 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    std::wstring value;
    DWORD type = REG_EXPAND_SZ;
    bool ok = readUserPath(key, value, type);
    if (ok) {
        const std::wstring edited = add ? setup::withFolder(value, folder, expandEnvironment)
                                        : setup::withoutFolder(value, folder, expandEnvironment);
        if (edited.empty()) {
            const LSTATUS status = RegDeleteValueW(key, kPathValue);
            ok = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
        } else if (edited != value) {
            ok = RegSetValueExW(
                     key, kPathValue, 0, type, reinterpret_cast<const BYTE*>(edited.c_str()),
                     static_cast<DWORD>((edited.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        }
    }
    RegCloseKey(key);
    if (ok) {
        // Explorer reads the user's environment anew, so that consoles opened from now on have it.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                            reinterpret_cast<LPARAM>(kEnvironmentKey), SMTO_ABORTIFHUNG, 5000,
                            &ignored);
    }
    return ok ? 0 : 1;
}

int findFfmpeg(const std::wstring& answer) {
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(size, L'\0');
    path.resize(size > 0 ? GetEnvironmentVariableW(L"PATH", path.data(), size) : 0);
    for (std::wstring entry : setup::pathEntries(path)) {
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
            entry = entry.substr(1, entry.size() - 2);
        }
        // Only absolute folders: a relative one would be the installer's own folder of work.
        if (entry.size() < 3 || !(entry[1] == L':' || entry.starts_with(L"\\\\"))) {
            continue;
        }
        if (entry.back() != L'\\') {
            entry += L'\\';
        }
        const std::wstring candidate = entry + L"ffmpeg.exe";
        const DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            writeAnswer(answer, {fullFolder(candidate)});
            return 0;
        }
    }
    writeAnswer(answer, {});
    return 1;
}

// Runs the program with -version, hidden, for at most kVersionWait; its first line.
int versionLine(const std::wstring& program, const std::wstring& answer) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return 1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::wstring command = L"\"" + program + L"\" -version";
    PROCESS_INFORMATION started{};
    const BOOL ran = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    CloseHandle(writeEnd);
    if (!ran) {
        CloseHandle(readEnd);
        writeAnswer(answer, {});
        return 1;
    }
    CloseHandle(started.hThread);
    std::string output;
    const ULONGLONG deadline = GetTickCount64() + kVersionWait;
    // The first line is all that is wanted; a program that never ends one is cut off.
    while (output.find('\n') == std::string::npos && output.size() < 4096) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        if (available == 0) {
            if (GetTickCount64() >= deadline ||
                WaitForSingleObject(started.hProcess, 20) == WAIT_OBJECT_0) {
                if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) ||
                    available == 0) {
                    break;
                }
            }
            continue;
        }
        char chunk[1024];
        DWORD got = 0;
        if (!ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) || got == 0) {
            break;
        }
        output.append(chunk, got);
    }
    if (WaitForSingleObject(started.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(started.hProcess, 1);
    }
    CloseHandle(started.hProcess);
    CloseHandle(readEnd);

    std::string line = output.substr(0, output.find_first_of("\r\n"));
    // The line is ASCII in every ffmpeg build; anything else is shown as the system decodes it.
    std::wstring wide(line.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    writeAnswer(answer, {wide});
    return wide.starts_with(L"ffmpeg version ") ? 0 : 1;
}

// The programs running from the folder, by their names inside it; the caller (an uninstaller
// started from there) is not counted.
int runningFrom(const std::wstring& folder, const std::wstring& answer) {
    const std::wstring prefix = fullFolder(folder) + L"\\";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        writeAnswer(answer, {});
        return 0;
    }
    struct Seen {
        DWORD id;
        DWORD parent;
    };
    std::vector<Seen> processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        processes.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    }
    CloseHandle(snapshot);
    DWORD caller = 0;
    for (const Seen& seen : processes) {
        if (seen.id == GetCurrentProcessId()) {
            caller = seen.parent;
        }
    }
    std::vector<std::wstring> names;
    for (const Seen& seen : processes) {
        if (seen.id == GetCurrentProcessId() || seen.id == caller) {
            continue;
        }
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, seen.id);
        if (process == nullptr) {
            continue;
        }
        std::wstring image(32768, L'\0');
        auto length = static_cast<DWORD>(image.size());
        if (QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
            image.resize(length);
            if (image.size() > prefix.size() &&
                CompareStringOrdinal(image.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                     static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL) {
                names.push_back(image.substr(prefix.size()));
            }
        }
        CloseHandle(process);
    }
    writeAnswer(answer, names);
    return names.empty() ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return 2;
    }
    const std::vector<std::wstring> words(arguments + 1, arguments + count);
    LocalFree(arguments);
    if (words.size() == 2 && words[0] == L"path-add") {
        return editUserPath(fullFolder(words[1]), true);
    }
    if (words.size() == 2 && words[0] == L"path-remove") {
        return editUserPath(fullFolder(words[1]), false);
    }
    if (words.size() == 2 && words[0] == L"find-ffmpeg") {
        return findFfmpeg(words[1]);
    }
    if (words.size() == 3 && words[0] == L"version") {
        return versionLine(words[1], words[2]);
    }
    if (words.size() == 3 && words[0] == L"running") {
        return runningFrom(words[1], words[2]);
    }
    return 2;
}
