#include "path_list.h"

#include <cwctype>

namespace setup {
namespace {

std::wstring folderKey(std::wstring entry) {
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
        entry = entry.substr(1, entry.size() - 2);
    }
    while (entry.size() > 1 && (entry.back() == L'\\' || entry.back() == L'/')) {
        entry.pop_back();
    }
    for (wchar_t& unit : entry) {
        unit = unit == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(unit));
    }
    return entry;
}

bool names(const std::wstring& entry, const std::wstring& folder, const Expand& expand) {
    return sameFolder(entry, folder) || (expand && sameFolder(expand(entry), folder));
}

}  // namespace

std::vector<std::wstring> pathEntries(const std::wstring& list) {
    std::vector<std::wstring> entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = list.find(L';', start);
        entries.push_back(list.substr(start, end - start));
        if (end == std::wstring::npos) {
            return entries;
        }
        start = end + 1;
    }
}

bool sameFolder(const std::wstring& a, const std::wstring& b) {
    const std::wstring key = folderKey(a);
    return !key.empty() && key == folderKey(b);
}

std::wstring withFolder(const std::wstring& list, const std::wstring& folder,
                        const Expand& expand) {
    for (const std::wstring& entry : pathEntries(list)) {
        if (names(entry, folder, expand)) {
            return list;
        }
    }
    if (list.empty() || list.back() == L';') {
        return list + folder;
    }
    return list + L';' + folder;
}

std::wstring withoutFolder(const std::wstring& list, const std::wstring& folder,
                           const Expand& expand) {
    std::wstring kept;
    bool first = true;
    bool removed = false;
    for (const std::wstring& entry : pathEntries(list)) {
        if (names(entry, folder, expand)) {
            removed = true;
            continue;
        }
        if (!first) {
            kept += L';';
        }
        kept += entry;
        first = false;
    }
    return removed ? kept : list;
}

}  // namespace setup
