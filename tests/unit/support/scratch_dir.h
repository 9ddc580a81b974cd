// Test helpers shared by every unit test that touches files: a scratch folder of the test's own
// and whole-file I/O.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace scratch {

// A fresh folder below $VELK_TEST_TMP (or the system's temporary folder), removed with
// everything in it. path() is empty when no folder could be made.
class ScratchDir {
public:
    ScratchDir()
    {
        namespace fs = std::filesystem;
        const char *base = std::getenv("VELK_TEST_TMP");
        fs::path root = base ? fs::path(base) : fs::temp_directory_path();
        std::error_code ec;
        fs::create_directories(root, ec);
        std::random_device seed;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            fs::path candidate = root / ("velk_test." + std::to_string(seed()));
            if (fs::create_directory(candidate, ec)) {
                path_ = candidate.string();
            }
        }
    }
    ~ScratchDir()
    {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

inline void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// size bytes of a pattern that does not repeat at buffer-size strides.
inline std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    }
    return bytes;
}

}  // namespace scratch
