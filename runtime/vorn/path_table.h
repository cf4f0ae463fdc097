#pragma once

#include <string>

namespace vorn {

// The runtime's paths by kind, each ending with "/":
//   0 base of screenshots and captures: $VORN_BASEDIR, else $XDG_DATA_HOME/mosswick/, else
//     $HOME/.local/share/mosswick/
//   1 resource directory: $VORN_RESDIR, else <program dir>/res/
//   4 macro directory: $VORN_MACRODIR, else <program dir>/macros/
// The program dir holds the program's own files: see ProgramDir.
class PathTable {
public:
    static std::string ExecutableDir();  // with a trailing "/"
    // The executable's folder when its Python modules are beside it (a build tree), else
    // <executable dir>/../share/mosswick/ when that exists (an installed copy), else the
    // executable's folder; with a trailing "/".
    static std::string ProgramDir(const std::string& executableDir);

    void Init(const std::string& executableDir);
    // Null for a kind the runtime does not know.
    const char* Get(int kind) const;
    // An empty path restores the kind's default; a "/" is appended when missing. False with
    // a reason for an unknown kind.
    bool Set(int kind, const char* path, std::string* why);
    // The program dir given to Init, with a trailing "/".
    const std::string& ProgramFolder() const { return mExeDir; }

private:
    std::string Default(int kind) const;
    std::string mExeDir;
    std::string mPaths[5];
};

}  // namespace vorn
