// The stand-in's process heap: HeapAlloc/HeapFree over malloc/free, with the
// fault seam that makes the n-th allocation fail (standin.h) and a count of
// the blocks not yet freed, so tests can see a list released in full.

#include "platform/posix/registry_store.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr DWORD kHeapZeroMemory = 0x00000008; // HEAP_ZERO_MEMORY

// Any non-null value does; the program only passes it back.
int gProcessHeap;
int gAllocCountdown = -1;
int gLiveBlocks = 0;

} // namespace

namespace standin {
void ClearHeapFault() {
    gAllocCountdown = -1;
}
} // namespace standin

HANDLE GetProcessHeap(void) {
    return &gProcessHeap;
}

void *HeapAlloc(HANDLE hHeap, DWORD dwFlags, size_t dwBytes) {
    if (gAllocCountdown >= 0 && gAllocCountdown-- == 0)
        return nullptr;
    if (hHeap != &gProcessHeap)
        return nullptr;
    // malloc(0) may give null; a heap block of 0 bytes is still a block.
    void *block = malloc(dwBytes ? dwBytes : 1);
    if (!block)
        return nullptr;
    if (dwFlags & kHeapZeroMemory)
        memset(block, 0, dwBytes);
    ++gLiveBlocks;
    return block;
}

BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, void *lpMem) {
    (void)dwFlags;
    if (hHeap != &gProcessHeap)
        return FALSE;
    if (!lpMem)
        return TRUE;
    free(lpMem);
    --gLiveBlocks;
    return TRUE;
}

void FailStandInNthAlloc(int n) {
    gAllocCountdown = n < 0 ? -1 : n;
}

int StandInHeapBlockCount() {
    return gLiveBlocks;
}
