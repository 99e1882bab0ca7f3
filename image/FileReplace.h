// Writing a file so that a failed write never costs the file it replaces:
// the data goes to a new file in the target's folder, which takes the
// target's place in one step once it is complete and closed.
#pragma once

#include <cstdio>
#include <string>

struct ReplacementFile {
    std::FILE* file = nullptr;  // open for binary writing
    std::string tempPath;       // the new file beside the target
    std::string targetPath;     // the file it will replace
};

// Opens a new, uniquely named file in the folder of `target`. Fails (false,
// nothing created) when the target exists but could not be overwritten (a
// folder, a read-only file) or the folder takes no new file.
bool OpenReplacement(const char* target, ReplacementFile& replacement);

// Flushes and closes the file and moves it over the target. On any failure
// the new file is removed and the target stays as it was.
bool CommitReplacement(ReplacementFile& replacement);

// Closes and removes the new file; the target stays as it was.
void AbandonReplacement(ReplacementFile& replacement);
