// Replacing a file whole: the new content goes into a file with a unique
// name beside it, is flushed to disk and renamed over it, so that readers
// (and the file after a crash) see the old or the new file, never a mix.
// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Writes `content` to a new file beside `target`, named "." + the target's
// name + "." + six random letters or digits + `suffix`, created with
// O_EXCL|O_NOFOLLOW (a planted link or a second copy of the program never
// shares it), with the mode and, where allowed, the owner of the existing
// target, and flushed to disk. Returns its path; empty on failure, with
// nothing left behind. A read-only folder or target (no write permission
// bit, also for a user whom the system would let write anyway) and a
// target that is not a regular file are refused.
std::string StageFileBeside(const std::string& target, std::string_view content, std::string_view suffix = ".tmp");

// Renames a staged file over `target` and flushes the folder. The staged
// file is removed on failure.
bool CommitStagedFile(const std::string& staged, const std::string& target);

// Both steps. A target that is a symbolic link is replaced through it: the
// file it points to gets the new content and the link stays.
bool ReplaceFileAtomically(const std::string& target, std::string_view content);

// The same, calling `staged` once the new content is on disk beside the
// target and before it takes the target's place.
bool ReplaceFileAtomically(const std::string& target, std::string_view content, const std::function<void()>& staged);

// True when `entry` (a name inside a folder) is a temporary file of
// StageFileBeside for a target named `targetName` with the suffix ".tmp".
bool IsTemporaryOf(std::string_view entry, std::string_view targetName);

// Folder of a path ("." when it has none) and the name within it.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Flushes a folder's entries (a rename or removal in it) to disk.
void SyncFolder(const std::string& folder);

// Removes a file; true when it is gone.
bool RemoveFile(const std::string& path);

// An exclusive lock on a folder, held by one copy of the program while it
// changes files that belong together; released with the descriptor, also
// when the program is killed. -1 when the folder cannot be opened.
int LockFolder(const std::string& folder);
void UnlockFolder(int lock);

// Called before every operation that changes a file (create, write, flush,
// rename, remove). A test build may install a hook that stops the program
// at a chosen one.
void FileStep();
void SetFileStepHook(void (*hook)());
