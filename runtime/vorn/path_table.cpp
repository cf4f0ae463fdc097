#include "path_table.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "object_util.h"
#include "vorn/os.h"

namespace vorn {

namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool IsKnownKind(int kind) {
    return kind == kVnPathBase || kind == kVnPathResource || kind == kVnPathMacro;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// "/usr/bin/" -> "/usr/"; the executable's folder has no "." or ".." of its own
std::string ParentDir(const std::string& dir) {
    std::string::size_type cut = dir.rfind('/', dir.size() >= 2 ? dir.size() - 2 : 0);
    return cut == std::string::npos ? dir : dir.substr(0, cut + 1);
}

}  // namespace

std::string PathTable::ProgramDir(const std::string& executableDir) {
    const std::string beside = WithSlash(executableDir);
    if (IsFolder(beside + "python")) return beside;
    const std::string shared = ParentDir(beside) + "share/mosswick/";
    return IsFolder(shared) ? shared : beside;
}

std::string PathTable::ExecutableDir() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return "./";
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::string exe(buffer.data(), static_cast<std::size_t>(n));
            return exe.substr(0, exe.rfind('/') + 1);
        }
        buffer.resize(buffer.size() * 2);  // the link may have been cut short
    }
}

void PathTable::Init(const std::string& executableDir) {
    mExeDir = WithSlash(executableDir.empty() ? "." : executableDir);
    for (int kind = 0; kind < 5; ++kind) mPaths[kind] = IsKnownKind(kind) ? Default(kind) : "";
}

const char* PathTable::Get(int kind) const {
    return IsKnownKind(kind) ? mPaths[kind].c_str() : nullptr;
}

bool PathTable::Set(int kind, const char* path, std::string* why) {
    if (!IsKnownKind(kind)) {
        if (why) *why = "Unknown path kind " + std::to_string(kind);
        return false;
    }
    mPaths[kind] = (path && *path) ? WithSlash(path) : Default(kind);
    return true;
}

std::string PathTable::Default(int kind) const {
    const char* overrides[5] = {"VORN_BASEDIR", "VORN_RESDIR", nullptr, nullptr, "VORN_MACRODIR"};
    std::string given = EnvText(overrides[kind]);
    if (!given.empty()) return WithSlash(given);
    if (kind == kVnPathResource) return mExeDir + "res/";
    if (kind == kVnPathMacro) return mExeDir + "macros/";
    // XDG says a relative value is invalid and must be ignored.
    std::string data = EnvText("XDG_DATA_HOME");
    if (!data.empty() && data[0] == '/') return WithSlash(data) + "mosswick/";
    return WithSlash(HomeDir()) + ".local/share/mosswick/";
}

}  // namespace vorn
