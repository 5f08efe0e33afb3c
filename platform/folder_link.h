// Whether a folder entry is a link to somewhere else (a symbolic link, or on
// Windows any reparse point: a junction or a directory link), for walks
// over a folder tree that must not follow them.
#pragma once

#include <filesystem>

bool IsFolderLink(const std::filesystem::path& path);
