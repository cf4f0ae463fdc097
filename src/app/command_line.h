#pragma once

#include <string>

// What the program does with its command line before anything else starts: run, print the
// usage or the version and exit, or refuse an option it does not know.
struct CommandLineCheck {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    std::string refused;  // the option refused, for Action::Refuse
};

// Reads the options only: file names, Qt's own options (with or without a second dash) and
// everything after "--" are left to the application.
CommandLineCheck CheckCommandLine(int argc, char** argv);

// The usage text that --help prints.
std::string UsageText();

// Handles --help, --version and a refused option without a display or the runtime; answers
// the exit status, or -1 when the program should run.
int AnswerCommandLine(int argc, char** argv);
