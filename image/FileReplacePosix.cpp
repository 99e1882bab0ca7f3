#include "image/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool OpenReplacement(const char* target, ReplacementFile& replacement) {
    replacement = ReplacementFile{};
    if (target == nullptr || *target == '\0') return false;

    // Through a symbolic link the file it names is replaced, as a plain
    // overwrite would, not the link.
    std::string resolvedTarget = target;
    if (char* resolved = realpath(target, nullptr)) {
        resolvedTarget = resolved;
        std::free(resolved);
    }

    struct stat existing {};
    const bool exists = stat(resolvedTarget.c_str(), &existing) == 0;
    if (exists) {
        // Only a regular file that we may write is replaced: never a folder
        // or a device, never a file that a plain overwrite would fail on.
        if (!S_ISREG(existing.st_mode)) return false;
        const int probe = open(resolvedTarget.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) return false;
        close(probe);
    }

    const std::string folder = FolderOf(resolvedTarget);
    // Shared by a movie's frame threads, which replace files at the same time.
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = folder + ".quaxel-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        // The replacement keeps the permissions of the file it replaces (a
        // new file gets the usual ones from the umask). Where the file system
        // keeps no permissions, the defaults will do.
        if (exists) (void)fchmod(fd, existing.st_mode & 07777);
        std::FILE* file = fdopen(fd, "wb");
        if (file == nullptr) {
            close(fd);
            unlink(temp.c_str());
            return false;
        }
        replacement.file = file;
        replacement.tempPath = std::move(temp);
        replacement.targetPath = std::move(resolvedTarget);
        return true;
    }
    return false;
}

bool CommitReplacement(ReplacementFile& replacement) {
    if (replacement.file == nullptr) return false;
    bool ok = std::fflush(replacement.file) == 0;
    ok = fsync(fileno(replacement.file)) == 0 && ok;
    ok = std::fclose(replacement.file) == 0 && ok;
    replacement.file = nullptr;
    ok = ok && std::rename(replacement.tempPath.c_str(), replacement.targetPath.c_str()) == 0;
    if (!ok) unlink(replacement.tempPath.c_str());
    return ok;
}

void AbandonReplacement(ReplacementFile& replacement) {
    if (replacement.file != nullptr) std::fclose(replacement.file);
    replacement.file = nullptr;
    if (!replacement.tempPath.empty()) unlink(replacement.tempPath.c_str());
}
