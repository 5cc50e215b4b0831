#pragma once
// Path text: the folder, the extension and the subfolder parts of a path, and paths made
// absolute. "/" is the separator on disk; the parts the console scans for also take "\",
// as names typed for the windowed front end carry it.
#include <string>

// Everything up to and including the last "/" or "\" of the path (a leading double quote
// is skipped, and the scan stops at a "|"); empty when there is neither.
std::string FolderPart(const std::string& path);

// Everything up to and including the last "/": on disk a "\" is part of a name.
std::string ParentFolder(const std::string& path);

// The extension of a path, without the dot, letter case kept: the text after the last "."
// when no space, "/" or "\" stands between it and the end. The scan stops at a double
// quote. Empty when there is no dot, the dot is the first character, or it directly
// follows a separator.
std::string FileExtension(const std::string& path);

// `folder` as an absolute folder ending in "/". A relative one (not beginning with "/") loses a
// leading "./" or ".\" and is taken from `currentFolder` (which ends in "/"; empty gives
// empty). Trailing "\" count as separators, as trailing "/" do.
std::string AbsoluteFolder(std::string folder, const std::string& currentFolder);

// FolderPart(path) with every occurrence of baseFolder removed; empty when either is empty
// or baseFolder does not occur.
std::string SubfolderOf(const std::string& path, const std::string& baseFolder);

// `path` made absolute against the current folder and lexically normal ("." and ".."
// components resolved, doubled separators removed); links are not resolved.
std::string AbsolutePath(const std::string& path);
