#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace lwmd5 {

// Reads a whole file with one read into a buffer of its exact size. On
// failure returns false and leaves the reason ("No such file or directory",
// "Is a directory", ...) in `reason`.
[[nodiscard]] bool readWholeFile(const std::string& path, std::string& bytes, std::string& reason);

// Writes a file so that a failed run never leaves a partial file and never
// destroys the previous good one: the text goes to a temporary file beside
// the target, opened in text mode (a line feed becomes the platform's line
// end), and only commit() renames it over the target once every byte was
// written and flushed. Without a successful commit the temporary file is
// removed and the target stays as it was. A symbolic link at the path is
// followed (the link stays, the file it names is replaced); a device or pipe
// there is written directly; a read-only file or a folder there is refused.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    [[nodiscard]] bool open(const std::string& path, std::string& reason);
    // Remembers the first failure; commit() reports it.
    void write(std::string_view text);
    [[nodiscard]] bool commit(std::string& reason);

private:
    void discard();
    [[nodiscard]] bool createTemporary(std::string& reason);

    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    int error_ = 0;
    bool direct_ = false; // writing into a device or pipe, not a temporary file
};

// One AtomicFileWriter run for a text held in memory.
[[nodiscard]] bool replaceFileAtomically(const std::string& path, std::string_view text, std::string& reason);

} // namespace lwmd5
