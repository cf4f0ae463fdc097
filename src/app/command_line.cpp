#include "app/command_line.h"

#include <cstdio>

#include "app/version.h"

namespace {

// Qt's own options, which it takes with one dash or two.
const char* const kQtOptions[] = {"platform",        "platformpluginpath",
                                  "platformtheme",   "plugin",
                                  "display",         "geometry",
                                  "qwindowgeometry", "title",
                                  "qwindowtitle",    "icon",
                                  "qwindowicon",     "name",
                                  "style",           "stylesheet",
                                  "session",         "reverse",
                                  "widgetcount",     "nograb",
                                  "dograb",          "sync",
                                  "qmljsdebugger",   "visual",
                                  "ncols",           "cmap",
                                  "testability"};

bool IsQtOption(const std::string& name) {
    const std::string bare = name.substr(0, name.find('='));
    for (const char* option : kQtOptions)
        if (bare == option) return true;
    return false;
}

CommandLineCheck::Action ActionOf(const std::string& arg) {
    if (arg == "--help" || arg == "-h" || arg == "-help" || arg == "-?")
        return CommandLineCheck::Action::Help;
    if (arg == "--version") return CommandLineCheck::Action::Version;
    if (arg.rfind("--", 0) == 0 && arg != "--batch" && !IsQtOption(arg.substr(2)))
        return CommandLineCheck::Action::Refuse;
    return CommandLineCheck::Action::Run;
}

}  // namespace

CommandLineCheck CheckCommandLine(int argc, char** argv) {
    CommandLineCheck check;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        CommandLineCheck::Action action = ActionOf(arg);
        if (action == CommandLineCheck::Action::Run) continue;
        check.action = action;
        if (action == CommandLineCheck::Action::Refuse) check.refused = arg;
        return check;
    }
    return check;
}

std::string UsageText() {
    return "Usage: mosswick [OPTION...] [FILE...]\n"
           "An authoring tool for the live object world of the vorn runtime.\n"
           "\n"
           "  FILE...             open the files: scripts run, texts open in a window\n"
           "  --batch FILE...     run the files without waiting for a user, wait for their\n"
           "                      tasklets, then exit (1 when anything raised)\n"
           "  -h, --help          print this help and exit\n"
           "  --version           print the version and exit\n"
           "  -platform NAME      Qt's platform plugin, e.g. offscreen (no display needed)\n"
           "  -display DISPLAY    the X display to use\n"
           "\n"
           "Other options of Qt are taken as Qt takes them. See mosswick(1).\n";
}

int AnswerCommandLine(int argc, char** argv) {
    const CommandLineCheck check = CheckCommandLine(argc, argv);
    switch (check.action) {
        case CommandLineCheck::Action::Run:
            return -1;
        case CommandLineCheck::Action::Help:
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        case CommandLineCheck::Action::Version:
            std::printf("mosswick %d.%d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionRelease,
                        kVersionBuild);
            return 0;
        case CommandLineCheck::Action::Refuse:
            std::fprintf(stderr, "mosswick: unknown option %s\nTry 'mosswick --help'.\n",
                         check.refused.c_str());
            return 2;
    }
    return -1;
}
