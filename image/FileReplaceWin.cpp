#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "image/FileReplace.h"

namespace {

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

bool OpenReplacement(const char* target, ReplacementFile& replacement) {
    replacement = ReplacementFile{};
    if (target == nullptr || *target == '\0') return false;

    // Only a file that a plain overwrite could replace: never a folder, never
    // a read-only file.
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return false;
    }

    // A short name, so that any path the Save dialog accepts leaves room.
    const std::string folder = FolderOf(target);
    // Shared by a movie's frame threads, which replace files at the same time.
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = folder + "~qx" + std::to_string(GetCurrentProcessId() % 100000) + "-" +
                           std::to_string(++serial) + ".tmp";
        const int fd = _open(temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        std::FILE* file = _fdopen(fd, "wb");
        if (file == nullptr) {
            _close(fd);
            DeleteFileA(temp.c_str());
            return false;
        }
        replacement.file = file;
        replacement.tempPath = std::move(temp);
        replacement.targetPath = target;
        return true;
    }
    return false;
}

bool CommitReplacement(ReplacementFile& replacement) {
    if (replacement.file == nullptr) return false;
    bool ok = std::fflush(replacement.file) == 0;
    ok = _commit(_fileno(replacement.file)) == 0 && ok;
    ok = std::fclose(replacement.file) == 0 && ok;
    replacement.file = nullptr;
    // The C library's rename refuses an existing target; this replaces it.
    ok = ok && MoveFileExA(replacement.tempPath.c_str(), replacement.targetPath.c_str(),
                           MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) DeleteFileA(replacement.tempPath.c_str());
    return ok;
}

void AbandonReplacement(ReplacementFile& replacement) {
    if (replacement.file != nullptr) std::fclose(replacement.file);
    replacement.file = nullptr;
    if (!replacement.tempPath.empty()) DeleteFileA(replacement.tempPath.c_str());
}
