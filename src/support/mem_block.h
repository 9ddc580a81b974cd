// Memory blocks: heap allocation under one policy — a request that cannot be met is reported
// through errmsg and ends the run (after the application's endfun hook), except a getmem request
// of at least terminate_size bytes, which returns null after its message.
#pragma once

namespace support {

extern int terminate_size;   // library, 2147483647: getmem requests this large fail softly
extern void (*endfun)();     // application, null: called before a fatal out-of-memory exit

void *getmem(int size);                 // size zero-filled bytes; 0 bytes is a failure
void *moremem(void *block, int size);   // resizes (may move); null block allocates afresh
void freemem(void *block);              // releases; null is ignored
void *getmemLock(int size);             // getmem that never returns null
void *getmemAdr(void *block);           // the address of a getmemLock block: the block itself
void freeLocal(void *block);            // releases a getmemLock block
char *setstr(const char *s);            // a new heap copy of s
char *addstr(char *heap_text, const char *s);  // appends s to a heap text; returns its new address

}  // namespace support
