#pragma once

#include <QString>
#include <QStringList>

// The names that may follow `code` (the input up to the caret) in __main__: globals, builtins
// and keywords for a bare name; after a "." the attributes, found by jedi on the live namespace
// with its unsafe executions off (also after subscripts and calls), else by rlcompleter on a
// dotted name whose path reads no property. Each name is one that completes the word before the
// caret; callables end in "(". At most kMaxNames, and only the globals `code` names are handed
// to jedi, so a huge namespace costs a scan, never a freeze. Call with the interpreter's lock
// held; a failure answers what was found and leaves Python's error set for the caller.
QStringList CompleteNames(const QString& code);

inline constexpr int kMaxNames = 1000;
