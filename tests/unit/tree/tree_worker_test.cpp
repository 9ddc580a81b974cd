#include "tree/tree_worker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/exit_hook.h"
#include "support/message.h"
#include "support/out_stage.h"

namespace {

// An answer from a worker, handed out at most step bytes per read, as a pipe may.
struct feed {
    std::string data;
    std::size_t at = 0;
    std::size_t step = 1;
};

long feed_read(void *ctx, char *buf, std::size_t n)
{
    feed &f = *static_cast<feed *>(ctx);
    std::size_t k = f.data.size() - f.at;
    if (k > n) {
        k = n;
    }
    if (k > f.step) {
        k = f.step;
    }
    std::memcpy(buf, f.data.data() + f.at, k);
    f.at += k;
    return static_cast<long>(k);
}

std::string u32(unsigned long v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) {
        s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return s;
}

std::string out_frame(const std::string &bytes) { return "o" + u32(bytes.size()) + bytes; }
std::string end_frame(unsigned long status) { return "e" + u32(status); }

// Reads the whole output of one file; returns it, the last read's result in *last.
std::string read_all(tree::worker_frames &frames, feed &f, std::size_t bufsize, long *last)
{
    std::string out;
    std::vector<char> buf(bufsize);
    for (;;) {
        const long n = tree::worker_read(frames, feed_read, &f, buf.data(), buf.size());
        if (n <= 0) {
            *last = n;
            return out;
        }
        out.append(buf.data(), static_cast<std::size_t>(n));
    }
}

TEST(TreeWorker, RequestCarriesEveryArgumentWithItsLength)
{
    const std::string req =
        tree::worker_request(tree::request_kind::filter, {"velkrun", "-d", "", "a b.c"});
    EXPECT_EQ(req, "f" + u32(4) + u32(7) + "velkrun" + u32(2) + "-d" + u32(0) + u32(5) + "a b.c");
    EXPECT_EQ(tree::worker_request(tree::request_kind::names, {"v", "f"}),
              "n" + u32(2) + u32(1) + "v" + u32(1) + "f");
}

std::string msg_frame(unsigned long size) { return "m" + u32(size); }

TEST(TreeWorker, OutputFramesAreJoinedWhateverThePiecesAndTheEndGivesTheStatus)
{
    const std::string text = std::string("line\r\n\0bytes", 12);
    for (std::size_t step : {1u, 3u, 1000u}) {
        for (std::size_t bufsize : {1u, 5u, 4096u}) {
            feed f;
            f.data = out_frame(text.substr(0, 5)) + out_frame("") + out_frame(text.substr(5)) +
                     end_frame(3) + out_frame("next file") + msg_frame(12) + end_frame(0);
            f.step = step;
            tree::worker_frames frames;
            long last = 99;
            EXPECT_EQ(read_all(frames, f, bufsize, &last), text);
            EXPECT_EQ(last, 0);
            EXPECT_TRUE(frames.ended);
            EXPECT_EQ(frames.status, 3);
            EXPECT_EQ(frames.messages, -1);  // the worker did not tell
            // Once ended, nothing more is handed on for this file ...
            char c;
            EXPECT_EQ(tree::worker_read(frames, feed_read, &f, &c, 1), 0);
            // ... and what was read beyond its end is the next answer's beginning.
            tree::worker_next(frames);
            EXPECT_FALSE(frames.ended);
            EXPECT_EQ(read_all(frames, f, bufsize, &last), "next file");
            EXPECT_EQ(last, 0);
            EXPECT_TRUE(frames.ended);
            EXPECT_EQ(frames.status, 0);
            EXPECT_EQ(frames.messages, 12);
            EXPECT_EQ(f.at, f.data.size());
        }
    }
}

TEST(TreeWorker, ALargeFrameComesWholeAndOneReadTakesSmallFramesTogether)
{
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7 + i / 251);
    }
    for (std::size_t bufsize : {1000u, 65536u, 1u << 18}) {
        feed f;
        f.data = out_frame("ab") + out_frame(big) + out_frame("cd") + msg_frame(0xFFFFFFFFUL) +
                 end_frame(1);
        f.step = 1u << 20;
        tree::worker_frames frames;
        long last = 99;
        EXPECT_EQ(read_all(frames, f, bufsize, &last), "ab" + big + "cd") << bufsize;
        EXPECT_TRUE(frames.ended);
        EXPECT_EQ(frames.status, 1);
        EXPECT_EQ(frames.messages, -1);  // a size the worker could not take
    }
    // A small answer whole in the pipe: one read brings it all.
    struct counted {
        feed f;
        int reads = 0;
    } c;
    c.f.data = out_frame("x") + out_frame("yz") + msg_frame(5) + end_frame(2);
    c.f.step = 1u << 20;
    const auto counted_read = [](void *ctx, char *buf, std::size_t n) -> long {
        counted &cc = *static_cast<counted *>(ctx);
        ++cc.reads;
        return feed_read(&cc.f, buf, n);
    };
    tree::worker_frames frames;
    std::string out;
    char buf[64];
    long n;
    while ((n = tree::worker_read(frames, counted_read, &c, buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(out, "xyz");
    EXPECT_TRUE(frames.ended);
    EXPECT_EQ(frames.messages, 5);
    EXPECT_EQ(c.reads, 1);
}

TEST(TreeWorker, AnAnswerCutShortIsAWorkerGoneNotAnEnd)
{
    const std::string whole = out_frame("abcdef") + end_frame(0);
    // Cut inside the first header, inside the bytes, inside the end frame.
    for (std::size_t cut : {std::size_t{2}, std::size_t{8}, whole.size() - 1}) {
        feed f;
        f.data = whole.substr(0, cut);
        f.step = 2;
        tree::worker_frames frames;
        long last = 99;
        read_all(frames, f, 64, &last);
        EXPECT_EQ(last, 0) << cut;
        EXPECT_FALSE(frames.ended) << cut;
    }
}

TEST(TreeWorker, AMalformedAnswerIsAnError)
{
    for (const std::string &bad :
         {std::string("x") + u32(1) + "a", std::string("o") + u32(0x7FFFFFFF)}) {
        feed f;
        f.data = bad;
        tree::worker_frames frames;
        long last = 99;
        read_all(frames, f, 64, &last);
        EXPECT_EQ(last, -1);
        EXPECT_FALSE(frames.ended);
    }
}

std::string sunk;
bool sink_ok = true;
bool take(const char *p, std::size_t n)
{
    sunk.append(p, n);
    return sink_ok;
}

TEST(TreeWorker, TheOutputStageSinkTakesEveryByteAndItsRefusalEndsTheRun)
{
    support::out_reset();
    sunk.clear();
    sink_ok = true;
    ASSERT_EQ(support::set_out_sink(take), nullptr);
    const std::string big(support::OUT_BLOCK_SIZE + 10, 'x');
    support::out_write("head\n", 5);
    support::out_write(big.data(), big.size());
    support::out_write("tail\n", 5);
    EXPECT_TRUE(support::out_drain());
    EXPECT_EQ(sunk, "head\n" + big + "tail\n");

    sink_ok = false;
    support::set_exit_hook([](int status) { throw status; });
    support::out_write("lost\n", 5);
    int status = 0;
    testing::internal::CaptureStderr();
    try {
        support::out_flush();
    } catch (int s) {
        status = s;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: cannot write to standard output.\n");
    EXPECT_EQ(status, 1);
    support::set_exit_hook(nullptr);
    EXPECT_EQ(support::set_out_sink(nullptr), take);
    support::out_reset();
    support::message_reset();
}

}  // namespace
