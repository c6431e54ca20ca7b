#pragma once

#include <string>

// Makes the folders of path that are missing (mode 0700) and the file itself when missing
// (mode 0600): the history names users, hosts and paths, and the XDG base directory rules
// ask for state of the user's own to be private. Existing folders and files keep their
// modes. False with errno set when a folder or the file cannot be made.
bool MakePrivateFile(const std::string& path);

// Whether statfs reports this type for a network or FUSE file system (NFS, SMB, CIFS, FUSE),
// where SQLite's WAL mode is unsafe.
bool IsNetworkFileSystemType(long type);

// Whether the folder holding path is on such a file system.
bool OnNetworkFileSystem(const std::string& path);

// The path as an SQLite "file:" URI, to which query parameters may be added.
std::string FileUri(const std::string& path);
