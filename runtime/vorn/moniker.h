#pragma once

#include <string>
#include <string_view>

namespace vorn {

// A name in the running object table: "scheme:/name" with an optional ".ext" in the last
// path component. "kx:/dev" is scheme "kx:", name "dev"; "res:/maps/a.vorn" is scheme "res:",
// name "maps/a", ext "vorn".
struct Moniker {
    std::string scheme;  // with its colon
    std::string name;
    std::string ext;

    std::string Text() const;
};

bool ParseMoniker(std::string_view text, Moniker* out, std::string* why);

// The file behind a "res:" or "file:" moniker. A "res:" name never leads out of the resource
// directory. False with a reason for other schemes or names that leave their root.
bool MonikerToPath(const Moniker& moniker, const std::string& resourceDir, std::string* path,
                   std::string* why);

// A path below the resource directory becomes "res:/relative", any other "file:/absolute".
// Relative paths are taken from the current directory; "." and ".." are resolved.
bool PathToMonikerText(const std::string& path, const std::string& resourceDir,
                       std::string* moniker, std::string* why);

}  // namespace vorn
