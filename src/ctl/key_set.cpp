// Sets of registry keys and values for the removal: open addressing over
// one heap block, each set at most half full.
#include "ctl/uninstall_parts.h"

namespace {

size_t Capacity(int count) {
    size_t capacity = 16;
    while (capacity < static_cast<size_t>(count) * 2)
        capacity *= 2;
    return capacity;
}

uint32_t HashOf(HKEY root, const char *key, size_t keyLength, const char *name) {
    uint32_t hash = HashUpperCased(kFnvOffsetBasis, root == HKEY_CURRENT_USER ? '1' : '2');
    for (size_t i = 0; i < keyLength; ++i)
        hash = HashUpperCased(hash, key[i]);
    for (const char *c = name; c != nullptr && *c != '\0'; ++c)
        hash = HashUpperCased(hash, *c);
    return hash;
}

bool SameName(const char *a, const char *b) {
    if (a == nullptr || b == nullptr)
        return a == b;
    size_t length = strlen(a);
    return strlen(b) == length && SameTextIgnoringCase(a, b, length);
}

} // namespace

bool MakeKeySets(KeySet *sets, int setCount, int count) {
    size_t capacity = Capacity(count);
    size_t slots = capacity * static_cast<size_t>(setCount);
    if (slots / capacity != static_cast<size_t>(setCount) || slots > SIZE_MAX / sizeof(KeySlot))
        return false;
    auto *block = static_cast<KeySlot *>(HeapAlloc(GetProcessHeap(), 0, slots * sizeof(KeySlot)));
    if (block == nullptr)
        return false;
    for (size_t i = 0; i < slots; ++i)
        block[i].key = nullptr;
    for (int i = 0; i < setCount; ++i)
        sets[i] = KeySet{block + capacity * static_cast<size_t>(i), capacity - 1};
    return true;
}

void FreeKeySets(KeySet *sets) {
    HeapFree(GetProcessHeap(), 0, sets[0].slots);
}

KeySlot *FindOrAddKey(KeySet &set, HKEY root, const char *key, size_t keyLength, const char *name,
                      bool *added) {
    for (size_t i = HashOf(root, key, keyLength, name) & set.mask;; i = (i + 1) & set.mask) {
        KeySlot &slot = set.slots[i];
        *added = slot.key == nullptr;
        if (*added) {
            slot = KeySlot{root, key, keyLength, name, Owner::Unknown, nullptr};
            return &slot;
        }
        if (slot.root == root && slot.keyLength == keyLength &&
            SameTextIgnoringCase(slot.key, key, keyLength) && SameName(slot.name, name))
            return &slot;
    }
}
