#include "platform/report.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace lwmd5 {

namespace {

void writeStderrLine(std::string_view programName, std::string_view middle, std::string_view text)
{
    std::string line;
    line.reserve(programName.size() + middle.size() + text.size() + 3);
    line.append(programName).append(": ").append(middle).append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace

NoticeText noticeText(ReaderNotice notice)
{
    switch (notice) {
    case ReaderNotice::WrongFileFormat: return {"Whassuuup??", "Wrong File Format!"};
    case ReaderNotice::NotTriangles: return {"ERROR!!!", "Check Geometry! Only 3 verts per poly!"};
    }
    return {};
}

ConsoleReporter::ConsoleReporter(std::string_view programName, bool showDebugLines)
    : programName_(programName), showDebugLines_(showDebugLines)
{
}

void ConsoleReporter::error(std::string_view text)
{
    writeStderrLine(programName_, "", text);
}

void ConsoleReporter::warning(std::string_view text)
{
    writeStderrLine(programName_, "warning: ", text);
}

void ConsoleReporter::note(std::string_view text)
{
    writeStderrLine(programName_, "", text);
}

void ConsoleReporter::notice(ReaderNotice notice)
{
    const NoticeText shown = noticeText(notice);
#ifdef _WIN32
    const std::string titleText(shown.title);
    const std::string bodyText(shown.text);
    MessageBoxA(nullptr, bodyText.c_str(), titleText.c_str(), 0);
#else
    std::string middle(shown.title);
    middle += ": ";
    writeStderrLine(programName_, middle, shown.text);
#endif
}

void ConsoleReporter::debugLine(std::string_view line)
{
#ifdef _WIN32
    const std::string text(line);
    OutputDebugStringA(text.c_str());
#else
    if (!showDebugLines_) return;
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
#endif
}

} // namespace lwmd5
