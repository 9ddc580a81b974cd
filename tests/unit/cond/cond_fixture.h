// Shared set-up for the tests of the conditional path: clean module state, a fatal exit that
// throws instead of ending the process, and helpers to fill the pattern table and evaluate lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <system_error>

#include "cond/cond_block.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "support/exit_hook.h"
#include "support/out_stage.h"

struct FatalExit {
    int status;
};

[[noreturn]] inline void throw_fatal_exit(int status) { throw FatalExit{status}; }

class CondTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cond::cond_reset();
        saved_hook_ = support::set_exit_hook(throw_fatal_exit);
    }
    void TearDown() override
    {
        support::set_exit_hook(saved_hook_);
        cond::line_reset();
        if (!input_path_.empty()) {
            std::remove(input_path_.c_str());
        }
    }

    // The folder for scratch files ($VELK_TEST_TMP, else the system's temporary folder), created.
    static std::string scratch_folder()
    {
        const char *dir = std::getenv("VELK_TEST_TMP");
        std::error_code ec;
        std::string path = dir != nullptr ? dir : std::filesystem::temp_directory_path(ec).string();
        std::filesystem::create_directories(path, ec);
        return path;
    }

    // Writes bytes to a scratch file of this test and opens it as the input.
    void open_input(const std::string &bytes)
    {
        // One file per test: CTest runs the tests of this binary in parallel.
        input_path_ = scratch_folder() + "/cond_input_" +
                      testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        FILE *f = std::fopen(input_path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        ASSERT_EQ(cond::line_open(input_path_.c_str()), 0);
    }

    // Appends one pattern (converted as the command line converts it) with its value.
    void add(const char *pattern, int value)
    {
        patterns_.emplace_back(pattern);
        char *p = patterns_.back().data();
        cond::conv_search_str(p, 0);
        cond::list_name[cond::list_count] = p;
        cond::list_value[cond::list_count] = value;
        cond::list_count++;
    }

    // Puts text into the line buffer as the current line, numbered 7.
    static void set_line(const std::string &text)
    {
        cond::buff[0] = ' ';
        std::memcpy(cond::buff + 1, text.data(), text.size());
        cond::buff[1 + text.size()] = '\0';
        cond::line_len = static_cast<int>(text.size());
        cond::line_no = 7;
    }

    // Value of the directive line from eval_directive.
    static int eval(int kind, const std::string &line)
    {
        set_line(line);
        int value = -1;
        cond::eval_directive(kind, cond::buff + 1, &value);
        return value;
    }

    // Message of a directive line that must end the run with status 1.
    static std::string eval_fail(int kind, const std::string &line)
    {
        testing::internal::CaptureStderr();
        int status = -1;
        try {
            eval(kind, line);
        } catch (const FatalExit &e) {
            status = e.status;
        }
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1) << line;
        return text;
    }

private:
    std::deque<std::string> patterns_;
    std::string input_path_;
    support::exit_hook_fn saved_hook_ = nullptr;
};
