#pragma once

#include "platform/report.h"

#include <string>
#include <vector>

namespace lwmd5::testing {

// Records every message in the order it arrived.
class CaptureReporter final : public Reporter {
public:
    struct Event {
        enum Kind { Error, Warning, MessageBox, DebugLine, Note } kind;
        std::string title; // message boxes only
        std::string text;
    };

    void error(std::string_view text) override { events.push_back({Event::Error, {}, std::string(text)}); }
    void warning(std::string_view text) override { events.push_back({Event::Warning, {}, std::string(text)}); }
    void note(std::string_view text) override { events.push_back({Event::Note, {}, std::string(text)}); }
    void notice(ReaderNotice notice) override
    {
        const NoticeText shown = noticeText(notice);
        events.push_back({Event::MessageBox, std::string(shown.title), std::string(shown.text)});
    }
    void debugLine(std::string_view line) override { events.push_back({Event::DebugLine, {}, std::string(line)}); }

    std::vector<std::string> texts(Event::Kind kind) const
    {
        std::vector<std::string> result;
        for (const Event& event : events) result.insert(result.end(), event.kind == kind, event.text);
        return result;
    }

    std::vector<Event> events;
};

} // namespace lwmd5::testing
