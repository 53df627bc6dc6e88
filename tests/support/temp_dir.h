#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes bytes or text to a file in the folder and returns its path.
    std::filesystem::path write(std::string_view name, std::string_view bytes) const;
    std::filesystem::path write(std::string_view name, const std::vector<std::uint8_t>& bytes) const
    {
        return write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// Text as a text-mode stream of this platform writes it: line feeds become
// CR LF on Windows and stay as they are elsewhere. Compare program output
// (files and stdout) against platformText(expected).
std::string platformText(std::string_view text);

} // namespace lwmd5::testing
