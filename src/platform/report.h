#pragma once

#include <string_view>

namespace lwmd5 {

// The two things the object reader tells its user besides errors and
// warnings: a file of another form type, and polygons that are not
// triangles. On Windows each is a modal message box.
enum class ReaderNotice { WrongFileFormat, NotTriangles };

struct NoticeText {
    std::string_view title;
    std::string_view text;
};
NoticeText noticeText(ReaderNotice notice);

// Everything the programs tell their user passes through here, so tests can
// capture it and the platform decides where each kind of message goes.
class Reporter {
public:
    virtual ~Reporter() = default;

    // One line: the run cannot go on.
    virtual void error(std::string_view text) = 0;
    // One line: the run goes on, but the user should know.
    virtual void warning(std::string_view text) = 0;
    // One line: what the run did (the file it wrote).
    virtual void note(std::string_view text) = 0;
    // Returns once the user has seen it (closed the box, on Windows).
    virtual void notice(ReaderNotice notice) = 0;
    // A finished progress line of the object reader.
    virtual void debugLine(std::string_view line) = 0;
};

// Says nothing: for runs whose messages nobody reads (fuzzing, benchmarks).
class SilentReporter final : public Reporter {
public:
    void error(std::string_view) override {}
    void warning(std::string_view) override {}
    void note(std::string_view) override {}
    void notice(ReaderNotice) override {}
    void debugLine(std::string_view) override {}
};

// Sends each kind of message where the operating system wants it: on Windows
// real message boxes and the debugger channel, elsewhere lines on stderr.
// Errors, notes and warnings are stderr lines "program: text" and
// "program: warning: text". Off Windows the progress lines are shown only
// when asked for (`showDebugLines`); on Windows a debugger always sees them.
class ConsoleReporter final : public Reporter {
public:
    explicit ConsoleReporter(std::string_view programName, bool showDebugLines = false);

    void error(std::string_view text) override;
    void warning(std::string_view text) override;
    void note(std::string_view text) override;
    void notice(ReaderNotice notice) override;
    void debugLine(std::string_view line) override;
    void showDebugLines(bool show) { showDebugLines_ = show; }

private:
    std::string_view programName_;
    bool showDebugLines_;
};

} // namespace lwmd5
