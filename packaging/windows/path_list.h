#pragma once

// A PATH-style list of folders ("C:\a;C:\b"), edited as the installer needs: entries compared as
// Windows compares folders, the others kept exactly as the user wrote them.

#include <functional>
#include <string>
#include <vector>

namespace setup {

// Turns an entry into the folder it names (environment references expanded); the identity when
// none is given.
using Expand = std::function<std::wstring(const std::wstring&)>;

std::vector<std::wstring> pathEntries(const std::wstring& list);

// True when two entries name the same folder: quotes, a trailing separator and the case of
// letters do not count.
bool sameFolder(const std::wstring& a, const std::wstring& b);

// The list with the folder at its end; unchanged when an entry names it already.
std::wstring withFolder(const std::wstring& list, const std::wstring& folder,
                        const Expand& expand = {});

// The list without any entry that names the folder; the rest as it was.
std::wstring withoutFolder(const std::wstring& list, const std::wstring& folder,
                           const Expand& expand = {});

}  // namespace setup
