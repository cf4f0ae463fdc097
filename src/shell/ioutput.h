#pragma once

class QString;

// Where the libraries send what the user should read: the console, and the error log for the
// runtime's pending error. The scripting host implements it.
class IOutput {
public:
    virtual ~IOutput() = default;
    // Shows the text in the console ("@..." as rich text); an empty text brings the view to
    // the end.
    virtual void Write(const QString& text) = 0;
    // Moves the runtime's pending error into the error log, which echoes it into the console.
    virtual void RefreshErrors() = 0;
};
