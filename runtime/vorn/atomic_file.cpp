#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

namespace vorn {

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

std::string DirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A symbolic link is replaced through its target, so a linked settings file stays linked.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

bool MakeDirectories(const std::string& dir, std::string* why) {
    struct stat st {};
    std::string::size_type pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        std::string part = dir.substr(0, pos);
        if (stat(part.c_str(), &st) == 0 || mkdir(part.c_str(), 0777) == 0 || errno == EEXIST)
            continue;
        return Fail(why, "cannot create the folder " + part + " (" + ErrnoText(errno) + ")");
    }
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(why, dir + " is not a folder");
    return true;
}

// O_EXCL with a name no other writer uses: the process id and a counter, retried on a clash.
int CreateTemporary(const std::string& path, std::string* tempPath, std::string* why) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    Fail(why, "cannot create a temporary file beside it (" + ErrnoText(errno) + ")");
    return -1;
}

bool WriteAll(int fd, const std::string& data, std::string* why) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(why, "writing failed (" + ErrnoText(n < 0 ? errno : EIO) + ")");
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes, flushes and closes the temporary file; the new file keeps the old one's permissions.
bool FillTemporary(int fd, const std::string& target, const std::string& data, std::string* why) {
    struct stat old {};
    bool ok = WriteAll(fd, data, why);
    if (ok && stat(target.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
    if (ok && fsync(fd) != 0) ok = Fail(why, "flushing failed (" + ErrnoText(errno) + ")");
    if (close(fd) != 0 && ok) ok = Fail(why, "closing failed (" + ErrnoText(errno) + ")");
    return ok;
}

// Some file systems cannot flush a folder; they say EINVAL and the rename stands anyway.
bool SyncDirectory(const std::string& dir, std::string* why) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail(why, "cannot open its folder to flush it (" + ErrnoText(errno) + ")");
    bool ok = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    int error = errno;
    close(fd);
    if (!ok) return Fail(why, "flushing its folder failed (" + ErrnoText(error) + ")");
    return true;
}

// What a file that is not a regular file is, in words.
const char* KindName(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

std::string SizeText(std::size_t bytes) {
    if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
}

// Renaming over a folder, a pipe or a device would take it away, and over a read-only file
// would undo the lock its owner put on it.
bool Replaceable(const std::string& target, std::string* why) {
    struct stat st {};
    if (stat(target.c_str(), &st) != 0) return errno == ENOENT || Fail(why, ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        return Fail(why, std::string("it is ") + KindName(st.st_mode) + ", not a regular file");
    // root may write any file, so the mode bits tell what the owner meant too
    if ((st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)
        return Fail(why, "the file is read-only");
    return true;
}

// "PID-N" as CreateTemporary spells it; false for anything else.
bool TemporaryOwner(const std::string& suffix, pid_t* pid) {
    std::string::size_type dash = suffix.find('-');
    auto digits = [](const std::string& text) {
        return !text.empty() && text.size() <= 9 &&
               text.find_first_not_of("0123456789") == std::string::npos;
    };
    if (dash == std::string::npos || !digits(suffix.substr(0, dash)) ||
        !digits(suffix.substr(dash + 1)))
        return false;
    *pid = static_cast<pid_t>(std::stol(suffix.substr(0, dash)));
    return *pid > 0;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& data, std::string* why,
                         const TemporaryCheck& check) {
    std::string reason;
    if (path.empty() || path.back() == '/') {
        reason = "the path names no file";
    } else {
        std::string target = ResolveLink(path);
        std::string dir = DirectoryOf(target);
        std::string temp;
        int fd = -1;
        if (Replaceable(target, &reason) && MakeDirectories(dir, &reason))
            fd = CreateTemporary(target, &temp, &reason);
        if (fd >= 0) {
            bool ok = FillTemporary(fd, target, data, &reason);
            if (ok && check) ok = check(temp, &reason);
            if (ok && rename(temp.c_str(), target.c_str()) != 0)
                ok = Fail(&reason, "replacing it failed (" + ErrnoText(errno) + ")");
            if (!ok) unlink(temp.c_str());
            if (ok && SyncDirectory(dir, &reason)) return true;
        }
    }
    return Fail(why, "Cannot write " + path + ": " + reason);
}

bool ReadRegularFile(const std::string& path, std::size_t limit, std::string* out,
                     std::string* why) {
    auto refuse = [&](const std::string& reason) {
        return Fail(why, "Cannot read " + path + ": " + reason);
    };
    auto notRegular = [&](mode_t mode) {
        return refuse(std::string("it is ") + KindName(mode) + ", not a regular file");
    };
    // stat first, so that a device is never opened; the opened file is checked again below
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return refuse(ErrnoText(errno));
    if (!S_ISREG(st.st_mode)) return notRegular(st.st_mode);
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return refuse(ErrnoText(errno));
    std::string text;
    std::string reason;
    if (fstat(fd, &st) != 0) {
        reason = ErrnoText(errno);
    } else if (!S_ISREG(st.st_mode)) {
        close(fd);
        return notRegular(st.st_mode);
    } else if (static_cast<std::uint64_t>(st.st_size) > limit) {
        reason = "it is larger than " + SizeText(limit);
    } else {
        text.reserve(static_cast<std::size_t>(st.st_size));
        char buffer[65536];
        // one byte past the limit tells a file that grew while it was read
        while (reason.empty()) {
            std::size_t room = limit - text.size();
            room = room < sizeof buffer ? room + 1 : sizeof buffer;
            ssize_t n = read(fd, buffer, room);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) reason = ErrnoText(errno);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > limit) reason = "it is larger than " + SizeText(limit);
        }
    }
    close(fd);
    if (!reason.empty()) return refuse(reason);
    if (out) *out = std::move(text);
    return true;
}

void RemoveStaleTemporaries(const std::string& path) {
    if (path.empty() || path.back() == '/') return;
    std::string target = ResolveLink(path);
    std::string prefix = target.substr(target.rfind('/') + 1) + ".tmp-";
    DIR* dir = opendir(DirectoryOf(target).c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        pid_t owner = 0;
        if (name.compare(0, prefix.size(), prefix) != 0 ||
            !TemporaryOwner(name.substr(prefix.size()), &owner))
            continue;
        if (kill(owner, 0) != 0 && errno == ESRCH) stale.push_back(name);
    }
    for (const std::string& name : stale) unlinkat(dirfd(dir), name.c_str(), 0);
    closedir(dir);
}

}  // namespace vorn
