#include "md5/md5_file.h"

#include "md5/md5_text.h"
#include "platform/file_io.h"
#include "platform/report.h"

namespace lwmd5 {

bool writeOutputFile(const std::string& scenePath, std::string_view extension,
                     const std::function<void(TextOutput&)>& format, Reporter& report)
{
    const std::string path = outputPathFor(scenePath, extension);
    std::string reason;
    AtomicFileWriter file;
    if (file.open(path, reason)) {
        TextOutput output([&file](std::string_view chunk) { file.write(chunk); });
        format(output);
        output.finish();
        if (file.commit(reason)) return true;
    }
    report.error("cannot write '" + path + "': " + reason);
    return false;
}

std::string formatToString(const std::function<void(TextOutput&)>& format)
{
    std::string text;
    TextOutput output([&text](std::string_view chunk) { text.append(chunk); });
    format(output);
    output.finish();
    return text;
}

} // namespace lwmd5
