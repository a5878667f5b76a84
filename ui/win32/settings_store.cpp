#include "settings_store.h"

#include <windows.h>

#include "app_state.h"
#include "media_preset.h"

namespace {

const wchar_t* const kValueName = L"out_dir";

HKEY openKey(const std::wstring& keyPath, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, access, &key) == ERROR_SUCCESS) {
        return key;
    }
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        return key;
    }
    return nullptr;
}

}  // namespace

std::wstring settingsKeyPath() {
    const char* extension = presetCatalogue != nullptr ? presetCatalogue->presetExtension(0) : "";
    return L"Software\\Morvanta\\" + widen(extension != nullptr ? extension : "");
}

std::wstring loadOutputFolder(const std::wstring& keyPath) {
    HKEY key = openKey(keyPath, KEY_READ);
    if (key == nullptr) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    std::wstring folder;
    if (RegQueryValueExW(key, kValueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        folder.resize(size / sizeof(wchar_t) + 1, L'\0');
        DWORD read = size;
        if (RegQueryValueExW(key, kValueName, nullptr, &type,
                             reinterpret_cast<BYTE*>(folder.data()), &read) == ERROR_SUCCESS &&
            type == REG_SZ) {
            folder.resize(read / sizeof(wchar_t));
            folder.resize(folder.find(L'\0') == std::wstring::npos ? folder.size()
                                                                   : folder.find(L'\0'));
        } else {
            folder.clear();
        }
    }
    RegCloseKey(key);
    return folder;
}

bool saveOutputFolder(const std::wstring& folder, const std::wstring& keyPath) {
    HKEY key = openKey(keyPath, KEY_READ | KEY_WRITE);
    if (key == nullptr) {
        return false;
    }
    RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.data()),
                   static_cast<DWORD>(folder.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    return true;
}
