// The stand-in's process heap: HeapAlloc/HeapFree over malloc/free, with the
// fault seam that makes the n-th allocation fail (registry_faults.cpp) and a
// count of the blocks not yet freed, so tests can see a list released in full.

#include "platform/posix/registry_store.h"

#include <stdlib.h>

namespace {

// Any non-null value does; the program only passes it back.
int gProcessHeap;
int gLiveBlocks = 0;

} // namespace

HANDLE GetProcessHeap(void) {
    return &gProcessHeap;
}

void *HeapAlloc(HANDLE hHeap, DWORD dwFlags, size_t dwBytes) {
    (void)dwFlags;
    if (standin::TakeAllocFault() || hHeap != &gProcessHeap)
        return nullptr;
    // malloc(0) may give null; a heap block of 0 bytes is still a block.
    void *block = malloc(dwBytes ? dwBytes : 1);
    if (block)
        ++gLiveBlocks;
    return block;
}

BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, void *lpMem) {
    (void)dwFlags;
    if (hHeap != &gProcessHeap)
        return FALSE;
    if (lpMem) {
        free(lpMem);
        --gLiveBlocks;
    }
    return TRUE;
}

int StandInHeapBlockCount() {
    return gLiveBlocks;
}
