#include "cli/cli_stack.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>

namespace {

constexpr std::size_t MiB = std::size_t{1} << 20;

// Tells threads apart without the thread library: each has its own copy.
thread_local int thread_mark;

// One level of a nesting: the size it asks for, and where it ran.
struct level {
    std::size_t size;
    const int *ran_on = nullptr;
    level *inner = nullptr;
    int inner_rc = 99;
};

void run_level(void *p)
{
    level &l = *static_cast<level *>(p);
    l.ran_on = &thread_mark;
    if (l.inner) {
        l.inner_rc = cli::run_on_stack(run_level, l.inner, l.inner->size);
    }
}

TEST(CliStack, ANestedCallRunsInPlaceWhenTheStackIsLargeEnoughAndOnANewThreadOtherwise)
{
    level same{8 * MiB}, smaller{1 * MiB}, larger{16 * MiB}, within_larger{16 * MiB};
    level outer{8 * MiB};
    outer.inner = &same;
    same.inner = &smaller;
    smaller.inner = &larger;
    larger.inner = &within_larger;
    ASSERT_EQ(cli::run_on_stack(run_level, &outer, outer.size), 0);

    EXPECT_NE(outer.ran_on, &thread_mark);  // the caller's thread made none itself
    EXPECT_EQ(same.ran_on, outer.ran_on);
    EXPECT_EQ(smaller.ran_on, outer.ran_on);
    EXPECT_NE(larger.ran_on, outer.ran_on);
    EXPECT_NE(larger.ran_on, &thread_mark);
    EXPECT_EQ(within_larger.ran_on, larger.ran_on);
    for (const level *l : {&outer, &same, &smaller, &larger}) {
        EXPECT_EQ(l->inner_rc, 0);
    }

    // The calling thread is still one run_on_stack did not make: its next call gets a thread.
    level again{1 * MiB};
    ASSERT_EQ(cli::run_on_stack(run_level, &again, again.size), 0);
    EXPECT_NE(again.ran_on, &thread_mark);
}

void throw_inside(void *) { throw std::runtime_error("from the nested call"); }

void nest_throw(void *) { cli::run_on_stack(throw_inside, nullptr, 1 * MiB); }

TEST(CliStack, AnExceptionOfANestedCallInPlaceReachesTheOuterCaller)
{
    EXPECT_THROW(cli::run_on_stack(nest_throw, nullptr, 4 * MiB), std::runtime_error);
}

// Uses about depth KiB of stack.
int recurse(int depth)
{
    volatile char page[1024];
    page[0] = static_cast<char>(depth);
    if (depth == 0) {
        return page[0];
    }
    return recurse(depth - 1) + page[0];
}

struct deep_job {
    int depth;
    int result = -1;
};

void deep_inner(void *p)
{
    deep_job &j = *static_cast<deep_job *>(p);
    j.result = recurse(j.depth);
}

// Asks for less than the recursion needs: only the stack it already runs on is large enough.
void deep_outer(void *p) { cli::run_on_stack(deep_inner, p, 16 * MiB); }

TEST(CliStack, ANestedCallInPlaceHasTheWholeLargeStack)
{
    // 40 MiB of frames: beyond a new thread of the 16 MiB asked for, within the 64 MiB made.
    deep_job job{40 * 1024};
    ASSERT_EQ(cli::run_on_stack(deep_outer, &job, 64 * MiB), 0);
    int expect = 0;
    for (int d = 40 * 1024; d > 0; --d) {
        expect += static_cast<char>(d);
    }
    EXPECT_EQ(job.result, expect);
}

}  // namespace
