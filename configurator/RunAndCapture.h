#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace tolvan {

// Shows one failure text to the operator.
using FailureMessage = std::function<void(const QString& text)>;

// The default FailureMessage: a message box with an OK button.
void ShowFailureMessageBox(const QString& text);

// Splits a command line into arguments at blanks; double quotes group an argument that holds
// blanks. No shell is involved, so nothing else is special.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Runs the command, waits for it to end and returns everything it wrote to standard output
// and standard error. When the pipe or the process cannot be created, onFailure gets
// "CreatePipe failed. Error: " or "CreateProcess failed. Error: " and the error number, and
// the result is empty.
std::string RunAndCapture(const std::string& commandLine,
                          const FailureMessage& onFailure = ShowFailureMessageBox);

}  // namespace tolvan
