#include "moniker.h"

#include <filesystem>
#include <system_error>

namespace vorn {

namespace fs = std::filesystem;

std::string Moniker::Text() const {
    std::string text = scheme + "/" + name;
    if (!ext.empty()) text += "." + ext;
    return text;
}

bool ParseMoniker(std::string_view text, Moniker* out, std::string* why) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= text.size() ||
        text[colon + 1] != '/') {
        *why = "\"" + std::string(text) + "\" is not a moniker (scheme:/name)";
        return false;
    }
    std::string_view rest = text.substr(colon + 2);
    if (rest.empty() || text.find('\0') != std::string_view::npos) {
        *why = "The moniker \"" + std::string(text) + "\" names no object";
        return false;
    }
    out->scheme = std::string(text.substr(0, colon + 1));
    size_t slash = rest.rfind('/');
    size_t dot = rest.rfind('.');
    bool hasExt = dot != std::string_view::npos &&
                  (slash == std::string_view::npos || dot > slash) &&
                  dot > (slash == std::string_view::npos ? 0 : slash + 1) && dot + 1 < rest.size();
    out->name = std::string(hasExt ? rest.substr(0, dot) : rest);
    out->ext = hasExt ? std::string(rest.substr(dot + 1)) : std::string();
    return true;
}

namespace {
// Absolute and free of "." and ".." parts, without touching the file system.
fs::path Normal(const fs::path& p) {
    std::error_code ec;
    fs::path absolute = (p.is_absolute() ? p : fs::current_path(ec) / p).lexically_normal();
    // "/a/res/" and "/a/res" name the same folder
    if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
    return absolute;
}

bool IsBelow(const fs::path& path, const fs::path& dir) {
    auto rel = path.lexically_relative(dir);
    return !rel.empty() && *rel.begin() != ".." && rel != ".";
}
}  // namespace

bool MonikerToPath(const Moniker& moniker, const std::string& resourceDir, std::string* path,
                   std::string* why) {
    std::string file = moniker.name + (moniker.ext.empty() ? "" : "." + moniker.ext);
    if (moniker.scheme == "res:") {
        fs::path root = Normal(resourceDir);
        fs::path full = (root / file).lexically_normal();
        if (!IsBelow(full, root)) {
            *why = "The moniker " + moniker.Text() + " leads out of the resource directory";
            return false;
        }
        *path = full.string();
        return true;
    }
    if (moniker.scheme == "file:") {
        *path = Normal("/" + file).string();
        return true;
    }
    *why = "The moniker " + moniker.Text() + " names no file (only res: and file: monikers do)";
    return false;
}

bool PathToMonikerText(const std::string& path, const std::string& resourceDir,
                       std::string* moniker, std::string* why) {
    if (path.empty()) {
        *why = "An empty path has no moniker";
        return false;
    }
    if (path.back() == '/') {
        *why = "The path " + path + " names a folder, not a file";
        return false;
    }
    fs::path full = Normal(path);
    fs::path root = Normal(resourceDir);
    if (!resourceDir.empty() && IsBelow(full, root)) {
        *moniker = "res:/" + full.lexically_relative(root).generic_string();
    } else {
        *moniker = "file:" + full.generic_string();
    }
    return true;
}

}  // namespace vorn
