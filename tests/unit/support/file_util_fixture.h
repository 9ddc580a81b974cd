// Shared by the file utility tests of every platform: a scratch folder per test, file helpers and
// a drive whose answers the test sets, installed through set_disk_ops.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "scratch_dir.h"
#include "support/file_util.h"
#include "support/message.h"

namespace futest {

// A scratch folder of the test's own, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() : path_(unittest::make_scratch_dir("file_util")) {}
    ~ScratchDir()
    {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
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

inline std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    }
    return bytes;
}

// A drive the tests describe, and the roots it was asked about.
inline int fake_free_result;  // what the 64-bit query answers: 1 ok, 0 failed, -1 missing
inline unsigned long fake_low;
inline unsigned long fake_high;
inline bool fake_geometry_ok;
inline support::disk_geometry fake_geometry;
inline std::string asked_roots;  // every root asked, each followed by '|'

inline bool fake_geometry_query(const char *root, const char *, support::disk_geometry *g)
{
    asked_roots += std::string(root) + "|";
    *g = fake_geometry;
    return fake_geometry_ok;
}

inline int fake_free_query(const char *root, const char *, unsigned long *low, unsigned long *high)
{
    asked_roots += std::string(root) + "|";
    *low = fake_low;
    *high = fake_high;
    return fake_free_result;
}

inline unsigned long all_bits(const char *) { return support::disk_attr_missing; }

inline const support::disk_ops fake_disk = {fake_geometry_query, fake_free_query,
                                     support::disk_attributes, support::disk_same_file};


class FileUtil : public testing::Test {
protected:
    void SetUp() override
    {
        support::file_util_reset();
        support::message_reset();
        ASSERT_FALSE(dir.path().empty()) << "no scratch folder";
        fake_free_result = 1;
        fake_low = 1u << 20;
        fake_high = 0;
        fake_geometry_ok = true;
        fake_geometry = {8, 512, 100, 1000};
        asked_roots.clear();
    }
    void TearDown() override { support::file_util_reset(); }

    ScratchDir dir;
};

class FileCopy : public FileUtil {
protected:
    std::string src = dir / "src";
    std::string dst = dir / "dst";
};


}  // namespace futest
