#include "platform/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
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

AtomicFileWriter::~AtomicFileWriter()
{
    discard();
}

void AtomicFileWriter::discard()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        std::remove(temporary_.c_str());
        temporary_.clear();
    }
}

namespace {

// Creates `path` for writing in text mode, failing when anything exists
// there already, so a link planted under the temporary name is never
// followed.
std::FILE* createNewFile(const std::string& path)
{
#ifdef _WIN32
    return std::fopen(path.c_str(), "w");
#else
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    std::FILE* file = ::fdopen(descriptor, "w");
    if (file == nullptr) ::close(descriptor);
    return file;
#endif
}

} // namespace

namespace {

// A symbolic link at the output path stays; the file it names is the one
// replaced, from a temporary file beside that file.
bool resolveLink(const std::string& path, std::string& target, std::string& reason)
{
    std::error_code ec;
    target = path;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) return true;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (ec) {
        reason = ec.message();
        return false;
    }
    target = resolved.string();
    return true;
}

enum class TargetKind { Absent, RegularFile, Device, Refused };

TargetKind classifyTarget(const std::string& target, std::string& reason)
{
    std::error_code ec;
    const std::filesystem::file_status existing = std::filesystem::status(target, ec);
    if (ec || !std::filesystem::exists(existing)) return TargetKind::Absent;
    if (std::filesystem::is_directory(existing)) {
        reason = errnoText(EISDIR);
        return TargetKind::Refused;
    }
    // A device or a pipe holds no file to keep: it is written directly.
    if (!std::filesystem::is_regular_file(existing)) return TargetKind::Device;
    // A read-only file is somebody's decision to keep it; renaming over it
    // would succeed wherever the folder is writable, so ask first.
    using std::filesystem::perms;
    if ((existing.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none) {
        reason = "the file is read-only";
        return TargetKind::Refused;
    }
    return TargetKind::RegularFile;
}

} // namespace

bool AtomicFileWriter::open(const std::string& path, std::string& reason)
{
    discard();
    direct_ = false;
    error_ = 0;
    std::string target;
    if (!resolveLink(path, target, reason)) return false;
    switch (classifyTarget(target, reason)) {
    case TargetKind::Refused: return false;
    case TargetKind::Device:
        errno = 0;
        file_ = std::fopen(target.c_str(), "w");
        if (file_ == nullptr) reason = errnoText(errno);
        direct_ = file_ != nullptr;
        return direct_;
    case TargetKind::Absent:
    case TargetKind::RegularFile: break;
    }
    path_ = target;
    return createTemporary(reason);
}

bool AtomicFileWriter::createTemporary(std::string& reason)
{
    const std::string stem = path_ + "." + std::to_string(currentProcessId());
    for (int attempt = 0; attempt < 10 && file_ == nullptr; ++attempt) {
        temporary_ = stem;
        if (attempt > 0) temporary_.append(".").append(std::to_string(attempt));
        temporary_.append(".tmp");
        errno = 0;
        file_ = createNewFile(temporary_);
        if (file_ == nullptr && errno != EEXIST) break;
    }
    if (file_ == nullptr) {
        reason = errnoText(errno);
        temporary_.clear();
        return false;
    }
    return true;
}

void AtomicFileWriter::write(std::string_view text)
{
    if (file_ == nullptr || error_ != 0 || text.empty()) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) error_ = errno != 0 ? errno : EIO;
}

bool AtomicFileWriter::commit(std::string& reason)
{
    if (file_ == nullptr) {
        reason = "the file was not opened";
        return false;
    }
    errno = 0;
    if (error_ == 0 && std::fflush(file_) != 0) error_ = errno != 0 ? errno : EIO;
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    if (error_ != 0) {
        reason = errnoText(error_);
        discard();
        return false;
    }
    if (direct_) return true;
    std::error_code ec;
    std::filesystem::rename(temporary_, path_, ec);
    if (ec) {
        reason = ec.message();
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool replaceFileAtomically(const std::string& path, std::string_view text, std::string& reason)
{
    AtomicFileWriter writer;
    if (!writer.open(path, reason)) return false;
    writer.write(text);
    return writer.commit(reason);
}

} // namespace lwmd5
