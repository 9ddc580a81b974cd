#include "support/mem_block.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "support/exit_hook.h"
#include "support/message.h"

namespace support {

int terminate_size = INT_MAX;  // application may lower it; getmem requests this large fail softly
void (*endfun)();              // application's clean-up before an out-of-memory exit; null: none

static void *c_resize(void *block, std::size_t size) { return std::realloc(block, size); }
static void c_release(void *block) { std::free(block); }

static const heap_ops c_heap = {c_resize, c_release};
static const heap_ops *heap = &c_heap;  // set by tests through set_heap_ops; the C heap otherwise

// Sizes above 1000 bytes are reported in K; getmem divides by 1024, the others by 1000.
static void report_size(const char *k_fmt, const char *byte_fmt, int size, int k)
{
    if (size > 1000) {
        errmsg(k_fmt, size / k);
    } else {
        errmsg(byte_fmt, size);
    }
}

// The message has been written; the hook runs before the exit, never before the message.
[[noreturn]] static void out_of_memory()
{
    if (endfun) {
        endfun();
    }
    fatal_exit(1);
}

// A request of 0 or fewer bytes yields no block, so it takes the failure path like an
// exhausted heap.
static void *heap_get(void *block, int size)
{
    return size > 0 ? heap->resize(block, static_cast<std::size_t>(size)) : nullptr;
}

void *getmem(int size)
{
    void *block = heap_get(nullptr, size);
    if (block) {
        std::memset(block, 0, static_cast<std::size_t>(size));
        return block;
    }
    report_size("\ncannot get the memory of %d K bytes\n", "\ncannot get the memory of %d bytes\n",
                size, 1024);
    if (size >= terminate_size) {
        return nullptr;
    }
    out_of_memory();
}

void *moremem(void *block, int size)
{
    if (size == 0 && block) {
        // Resizing to nothing releases the block; the request then fails as no block is left.
        heap->release(block);
        block = nullptr;
    }
    void *grown = heap_get(block, size);
    if (grown) {
        return grown;
    }
    report_size("cannot get the memory of %d K bytes\n", "cannot get the memory of %d bytes\n", size,
                1000);
    out_of_memory();
}

void freemem(void *block)
{
    if (block) {
        heap->release(block);
    }
}

void *getmemLock(int size)
{
    void *block = getmem(size);
    if (block) {
        return block;
    }
    // endfun is deliberately not called on this path.
    if (size > 1000) {
        fatal("Faital error:\ncannot get the memory of %d K bytes", size / 1000);
    }
    fatal("Faital error:\ncannot get memory of %d bytes", size);
}

void *getmemAdr(void *block) { return block; }

void freeLocal(void *block) { freemem(block); }

char *setstr(const char *s)
{
    std::size_t len = std::strlen(s) + 1;
    char *copy = static_cast<char *>(heap->resize(nullptr, len));
    if (!copy) {
        errmsg("cannot get memory\n");
        out_of_memory();
    }
    std::memcpy(copy, s, len);
    return copy;
}

char *addstr(char *heap_text, const char *s)
{
    // A null heap text is taken as an empty one, as moremem takes a null block as a fresh one.
    std::size_t old_len = heap_text ? std::strlen(heap_text) : 0;
    std::size_t add_len = std::strlen(s) + 1;
    // The appended text may lie inside the heap text itself (addstr(t, t)); the resize can move
    // it, so it is found again by its offset.
    std::less_equal<const char *> le;
    bool inside = heap_text && le(heap_text, s) && le(s, heap_text + old_len);
    std::size_t offset = inside ? static_cast<std::size_t>(s - heap_text) : 0;
    char *text = static_cast<char *>(heap->resize(heap_text, old_len + add_len));
    if (!text) {
        errmsg("can't get memory\n");
        out_of_memory();
    }
    std::memmove(text + old_len, inside ? text + offset : s, add_len);
    return text;
}

const heap_ops *set_heap_ops(const heap_ops *ops)
{
    const heap_ops *old = heap;
    heap = ops ? ops : &c_heap;
    return old == &c_heap ? nullptr : old;
}

void mem_block_reset()
{
    terminate_size = INT_MAX;
    endfun = nullptr;
    heap = &c_heap;
}

}  // namespace support
