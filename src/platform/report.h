#pragma once

#include <string_view>

namespace lwmd5 {

// Everything the programs tell their user passes through here, so tests can
// capture it and the platform decides where each kind of message goes.
class Reporter {
public:
    virtual ~Reporter() = default;

    // One line: the run cannot go on.
    virtual void error(std::string_view text) = 0;
    // One line: the run goes on, but the user should know.
    virtual void warning(std::string_view text) = 0;
    // A modal box with an OK button; returns when the user has closed it.
    virtual void messageBox(std::string_view title, std::string_view text) = 0;
    // A finished progress line for the debugger's output channel.
    virtual void debugLine(std::string_view line) = 0;
};

// Sends each kind of message where the operating system wants it: on Windows
// real message boxes and the debugger channel, elsewhere lines on stderr.
// Errors and warnings are stderr lines "program: text" and
// "program: warning: text".
class ConsoleReporter final : public Reporter {
public:
    explicit ConsoleReporter(std::string_view programName);

    void error(std::string_view text) override;
    void warning(std::string_view text) override;
    void messageBox(std::string_view title, std::string_view text) override;
    void debugLine(std::string_view line) override;

private:
    std::string_view programName_;
};

} // namespace lwmd5
