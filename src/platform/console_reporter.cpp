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

ConsoleReporter::ConsoleReporter(std::string_view programName) : programName_(programName) {}

void ConsoleReporter::error(std::string_view text)
{
    writeStderrLine(programName_, "", text);
}

void ConsoleReporter::warning(std::string_view text)
{
    writeStderrLine(programName_, "warning: ", text);
}

void ConsoleReporter::messageBox(std::string_view title, std::string_view text)
{
#ifdef _WIN32
    const std::string titleText(title);
    const std::string bodyText(text);
    MessageBoxA(nullptr, bodyText.c_str(), titleText.c_str(), 0);
#else
    std::string middle(title);
    middle += ": ";
    writeStderrLine(programName_, middle, text);
#endif
}

void ConsoleReporter::debugLine(std::string_view line)
{
#ifdef _WIN32
    const std::string text(line);
    OutputDebugStringA(text.c_str());
#else
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
#endif
}

} // namespace lwmd5
