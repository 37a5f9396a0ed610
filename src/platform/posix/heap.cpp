// The process heap over malloc/free, with the fault that fails the n-th
// allocation and a count of the blocks not yet freed.

#include "platform/posix/registry_store.h"

#include <stdlib.h>

namespace {

int gProcessHeap; // any non-null value does: the program only passes it back
int gLiveBlocks = 0;

} // namespace

HANDLE GetProcessHeap(void) {
    return &gProcessHeap;
}

void *HeapAlloc(HANDLE hHeap, DWORD, size_t dwBytes) {
    if (standin::TakeAllocFault() || hHeap != &gProcessHeap)
        return nullptr;
    void *block = malloc(dwBytes ? dwBytes : 1); // a block of 0 bytes is still a block
    gLiveBlocks += block ? 1 : 0;
    return block;
}

BOOL HeapFree(HANDLE hHeap, DWORD, void *lpMem) {
    if (hHeap != &gProcessHeap)
        return FALSE;
    gLiveBlocks -= lpMem ? 1 : 0;
    free(lpMem);
    return TRUE;
}

int StandInHeapBlockCount() {
    return gLiveBlocks;
}
