#pragma once
// Folder trees: listing the files below a folder, creating folders.
#include <string>
#include <vector>

struct UnreadableFolder {
  std::string path;
  std::string reason;  // the system's text ("Permission denied")
};

struct FolderWalk {
  std::vector<std::string> files;  // unsorted
  std::vector<UnreadableFolder> unreadable;
};

// Every regular file below `folder`, at any depth, as `folder` + "/" + its relative path,
// and every folder below it that could not be read. Links to files count as files. Links
// to folders are followed after the folders themselves, each real folder once: a folder
// reached again (a loop of links, or a second link to it) adds nothing, a link to a folder
// that holds the whole tree is left out, and a folder keeps the path it has in the tree
// rather than one through a link. Hidden files and folders
// (names beginning with ".") are left out: a card written by a Mac holds "._" copies of
// every photo's metadata and a ".Trashes" folder.
FolderWalk WalkFolder(const std::string& folder);

// The files of WalkFolder alone.
std::vector<std::string> FilesBelow(const std::string& folder);

// Creates the folder and any missing parents (mode 0777 less the umask); true when it
// exists afterwards.
bool MakeFolders(const std::string& folder);
