// Scratch folders for the tests that touch the file system, made the same way on every platform.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace unittest {

// Creates a new, empty folder named stem.<number> under $VELK_TEST_TMP (set by CTest) or else the
// system's temporary folder; returns its path, or "" when no folder can be made there.
inline std::string make_scratch_dir(const std::string &stem)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const char *base = std::getenv("VELK_TEST_TMP");
    fs::path root = base != nullptr ? fs::path(base) : fs::temp_directory_path(ec);
    fs::create_directories(root, ec);
    std::random_device random;
    for (int tries = 0; tries < 100; ++tries) {
        fs::path dir = root / (stem + "." + std::to_string(random()));
        if (fs::create_directory(dir, ec)) {
            return dir.string();
        }
    }
    return "";
}

}  // namespace unittest
