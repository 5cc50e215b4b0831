#pragma once
// Folder trees: listing the files below a folder, creating folders, absolute paths.
#include <string>
#include <vector>

// Every regular file below `folder`, at any depth, as `folder` + "/" + its relative path.
// Links to files count as files; links to folders are not followed, so a loop of links
// cannot make the walk endless. Folders that cannot be read are skipped, and so are hidden
// files and folders (names beginning with "."): a card written by a Mac holds "._" copies
// of every photo's metadata and a ".Trashes" folder. Unsorted.
std::vector<std::string> FilesBelow(const std::string& folder);

// Creates the folder and any missing parents (mode 0777 less the umask); true when it
// exists afterwards.
bool MakeFolders(const std::string& folder);

// `path` made absolute against the current folder and lexically normal ("." and ".."
// components resolved, doubled separators removed); links are not resolved.
std::string AbsolutePath(const std::string& path);
