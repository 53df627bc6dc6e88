#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

namespace lwmd5::testing {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = "lwmd5-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::error_code ec;
    do path_ = fs::temp_directory_path() / (stamp + "-" + std::to_string(counter++));
    while (!fs::create_directory(path_, ec));
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may have taken the folder's permissions away; give them back so removal works.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

fs::path TempDir::write(std::string_view name, std::string_view bytes) const
{
    std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path_ / name;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string platformText(std::string_view text)
{
    std::string converted(text);
#ifdef _WIN32
    for (std::size_t at = 0; (at = converted.find('\n', at)) != std::string::npos; at += 2) {
        converted.insert(at, 1, '\r');
    }
#endif
    return converted;
}

} // namespace lwmd5::testing
