// Files and folders: where the program lives, and whole-file reads and writes.
#pragma once
#include <string>

// Full path of the running executable (UTF-8), or "" when it can't be told.
std::string ExecutablePath();

// The folder part of a path, up to and including its last separator
// ("/" everywhere, "\\" too on Windows); "" when there is none.
std::string FolderOf(const std::string& path);

// Native separator: "/" on POSIX, "\\" on Windows.
char PathSeparator();

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsExecutableFile(const std::string& path);
// True when a new file could be created in `folder`.
bool FolderWritable(const std::string& folder);
// Creates `folder` and its missing parents. True when it exists afterwards.
bool MakeFolders(const std::string& folder);

// Reads a whole file. False (and `out` empty) when it can't be opened or read,
// or is no plain file (a folder, a pipe, a device).
bool ReadWholeFile(const std::string& path, std::string& out);

// Replaces `path` with `content` so that at every instant the file on disk is
// either the complete old file or the complete new one: the content goes to
// a temporary file in the same folder, is flushed to the disk and is renamed
// over `path`. On failure nothing changes and no temporary file is left.
bool ReplaceFileAtomically(const std::string& path, const std::string& content);

// Removes "<path>.tmp", the complete new file that a save killed between
// naming it and renaming it over `path` leaves behind (a moment no name-based
// replacement can avoid). Loading calls it, so such a file lives at most
// until the next start.
void RemoveLeftoverTemporary(const std::string& path);

// The user's configuration folder for this program, ending with a separator
// ("$XDG_CONFIG_HOME/korvane/" or "~/.config/korvane/" on POSIX; "" where the
// platform keeps settings beside the program).
std::string UserConfigFolder();

// The process's current working directory, ending with a separator.
std::string CurrentFolder();
