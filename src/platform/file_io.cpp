#include "platform/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#else
#include <process.h>
#endif

namespace lwmd5 {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string errnoText(int code)
{
    return code != 0 ? std::string(std::strerror(code)) : std::string("unknown error");
}

long currentProcessId()
{
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

} // namespace

bool readWholeFile(const std::string& path, std::string& bytes, std::string& reason)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        reason = errnoText(EISDIR);
        return false;
    }
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        reason = errnoText(errno);
        return false;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        reason = errnoText(errno);
        return false;
    }
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        reason = errnoText(errno);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    errno = 0;
    const std::size_t got = size > 0 ? std::fread(bytes.data(), 1, bytes.size(), file.get()) : 0;
    if (got != bytes.size() || std::ferror(file.get())) {
        reason = std::ferror(file.get()) ? errnoText(errno) : std::string("the file changed while it was read");
        return false;
    }
    return true;
}

bool replaceFileAtomically(const std::string& path, std::string_view text, std::string& reason)
{
    const std::string temporary = path + "." + std::to_string(currentProcessId()) + ".tmp";
    errno = 0;
    FilePtr file(std::fopen(temporary.c_str(), "w"));
    if (!file) {
        reason = errnoText(errno);
        return false;
    }
    errno = 0;
    bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    ok = ok && std::fflush(file.get()) == 0;
    int code = errno;
    std::FILE* raw = file.release();
    errno = 0;
    if (std::fclose(raw) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        reason = errnoText(code);
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        reason = ec.message();
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace lwmd5
