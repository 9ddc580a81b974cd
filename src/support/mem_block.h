// Memory blocks: heap allocation under one policy — a request that cannot be met is reported
// through errmsg and ends the run (after the application's endfun hook), except a getmem request
// of at least terminate_size bytes, which returns null after its message.
#pragma once

#include <cstddef>

namespace support {

extern int terminate_size;  // library, 2147483647: getmem requests this large fail softly
extern void (*endfun)();    // application, null: called before a fatal out-of-memory exit

void *getmem(int size);                // size zero-filled bytes; 0 bytes is a failure
void *moremem(void *block, int size);  // resizes (may move); null block allocates afresh
void freemem(void *block);             // releases; null is ignored
void *getmemLock(int size);            // getmem that never returns null
void *getmemAdr(void *block);          // the address of a getmemLock block: the block itself
void freeLocal(void *block);           // releases a getmemLock block
char *setstr(const char *s);           // a new heap copy of s
char *addstr(char *heap_text, const char *s);  // appends s to a heap text; returns its new address

// The heap under every function above. Tests replace it to make requests fail or to see what
// the functions ask for; resize has realloc's contract and is never asked for 0 bytes.
struct heap_ops {
    void *(*resize)(void *block, std::size_t size);  // null block: a fresh block
    void (*release)(void *block);                    // never given null
};

// Installs ops (null restores the C library heap); returns the heap it replaces (null for the
// C library heap).
const heap_ops *set_heap_ops(const heap_ops *ops);

// Puts terminate_size, endfun and the heap back to their process-start values.
void mem_block_reset();

}  // namespace support
