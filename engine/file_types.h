#pragma once

#include <string_view>

// The product's accepted source types: tokens separated by ';'.
inline constexpr std::string_view acceptedTypes = "mkv";

// True when a path may be queued: some accepted token occurs inside the text from the path's
// last '.' on, with ASCII letters folded to lower case (so clip.MKV and x.mkvx pass, clip.avi
// and a name without a dot do not). Every path passes when types is empty.
bool isAcceptedFile(std::string_view path, std::string_view types = acceptedTypes);
