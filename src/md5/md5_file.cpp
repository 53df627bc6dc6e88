#include "md5/md5_file.h"

#include "md5/md5_text.h"
#include "platform/file_io.h"
#include "platform/report.h"

namespace lwmd5 {

bool writeOutputFile(const std::string& scenePath, std::string_view extension, std::string_view text,
                     Reporter& report)
{
    const std::string path = outputPathFor(scenePath, extension);
    std::string reason;
    if (!replaceFileAtomically(path, text, reason)) {
        report.error("cannot write '" + path + "': " + reason);
        return false;
    }
    return true;
}

} // namespace lwmd5
