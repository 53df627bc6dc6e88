#include "support/capture_reporter.h"

namespace lwmd5::testing {

std::vector<std::string> CaptureReporter::texts(Event::Kind kind) const
{
    std::vector<std::string> result;
    for (const Event& event : events) {
        if (event.kind == kind) result.push_back(event.text);
    }
    return result;
}

} // namespace lwmd5::testing
