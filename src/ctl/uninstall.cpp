// The uninstall: the recorded values removed newest first, each only while it
// holds what was recorded and while its add-on key still belongs to this
// folder's install; then the keys left empty, walking up.
//
// One table, sized from the record count, remembers the values already
// handled (only the newest record of a value counts), the owner of each
// add-on key and the keys a walk started from, so the cost per record stays
// the same however many products there are.
#include <string.h>

#include "ctl/ctl.h"
#include "log/log.h"
#include "registry/registry.h"

namespace {

constexpr char kVendorPrefix[] = "Software\\Quenlar\\AutoCAD\\";
constexpr char kProductPrefix[] = "SOFTWARE\\Autodesk\\AutoCAD\\";
constexpr char kApplications[] = "Applications";

enum class EntryKind : char { Free, Value, AddOnKey, WalkStart };
enum class Owner : char { Unknown, ThisFolder, Another };

struct Entry {
    EntryKind kind;
    Owner owner; // AddOnKey
    HKEY root;
    const char *key; // in a record; only keyLength characters count
    size_t keyLength;
    const char *name;     // Value
    const Record *loader; // AddOnKey: the newest record of its loader value
};

struct Table {
    Entry *entries = nullptr;
    size_t mask = 0;
};
Table table;
// This folder's Active Setup entry, under HKEY_LOCAL_MACHINE.
char activeSetupKey[kPathBufferSize];

char Folded(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Registry names compare without regard to case.
bool SameText(const char *a, const char *b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (Folded(a[i]) != Folded(b[i]))
            return false;
    return true;
}

bool StartsWithText(const char *text, const char *prefix) {
    size_t length = strlen(prefix);
    return strlen(text) >= length && SameText(text, prefix, length);
}

size_t HashText(size_t hash, const char *text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(Folded(text[i]))) * 16777619u;
    return hash;
}

// The entry for kind, root, key (keyLength characters) and name (Value
// only), added when missing; *added says which.
Entry *FindEntry(EntryKind kind, HKEY root, const char *key, size_t keyLength, const char *name,
                 bool *added) {
    size_t hash = HashText(2166136261u + static_cast<size_t>(kind) * 31u +
                               (root == HKEY_CURRENT_USER ? 7u : 0u),
                           key, keyLength);
    if (name != nullptr)
        hash = HashText(hash * 16777619u, name, strlen(name));
    for (size_t i = hash & table.mask;; i = (i + 1) & table.mask) {
        Entry &entry = table.entries[i];
        if (entry.kind == EntryKind::Free) {
            entry = Entry{kind, Owner::Unknown, root, key, keyLength, name, nullptr};
            *added = true;
            return &entry;
        }
        if (entry.kind == kind && entry.root == root && entry.keyLength == keyLength &&
            SameText(entry.key, key, keyLength) &&
            (name == nullptr ||
             (strlen(entry.name) == strlen(name) && SameText(entry.name, name, strlen(name))))) {
            *added = false;
            return &entry;
        }
    }
}

// The length of the component at text, up to a backslash or the end.
size_t ComponentLength(const char *text) {
    size_t length = 0;
    while (text[length] != '\0' && text[length] != '\\')
        ++length;
    return length;
}

// After a component and its backslash; null when the component is empty or
// the text ends with it.
const char *SkipComponent(const char *text) {
    size_t length = ComponentLength(text);
    return length > 0 && text[length] == '\\' ? text + length + 1 : nullptr;
}

int Depth(const char *key) {
    int depth = 1;
    for (const char *c = key; *c != '\0'; ++c)
        depth += *c == '\\' ? 1 : 0;
    return depth;
}

// The length of the add-on key that key lies in, or 0 for any other key: the
// maker's key of a release's Ostrel or Qel, a product's Applications key of
// either below the AutoCAD release keys, or exactly this folder's Active
// Setup entry. *lowestDepth gets the depth of the highest key an emptied key
// may be deleted up to: never Software itself, nor an AutoCAD product key of
// HKEY_LOCAL_MACHINE or anything above it, nor anything above the entry.
size_t AddOnKeyLength(HKEY root, const char *key, int *lowestDepth) {
    const char *at = nullptr;
    bool productKey = StartsWithText(key, kProductPrefix);
    *lowestDepth = productKey && root == HKEY_LOCAL_MACHINE ? 6 : 2;
    size_t length = strlen(key);
    if (root == HKEY_LOCAL_MACHINE && length == strlen(activeSetupKey) &&
        SameText(key, activeSetupKey, length)) {
        *lowestDepth = Depth(key);
        return length;
    }
    if (StartsWithText(key, kVendorPrefix)) {
        at = SkipComponent(key + TextLength(kVendorPrefix));
    } else if (productKey) {
        at = SkipComponent(key + TextLength(kProductPrefix));
        at = at != nullptr ? SkipComponent(at) : nullptr;
        if (at != nullptr && !(ComponentLength(at) == TextLength(kApplications) &&
                               SameText(at, kApplications, TextLength(kApplications))))
            at = nullptr;
        at = at != nullptr ? SkipComponent(at) : nullptr;
    }
    if (at == nullptr)
        return 0;
    length = ComponentLength(at);
    bool addOn =
        (length == 6 && SameText(at, "Ostrel", 6)) || (length == 3 && SameText(at, "Qel", 3));
    return addOn ? static_cast<size_t>(at - key) + length : 0;
}

const char *RootSuffix(HKEY root) {
    return root == HKEY_CURRENT_USER ? " -- HKEY_CURRENT_USER.\n" : " -- HKEY_LOCAL_MACHINE.\n";
}

// Whether the registry holds exactly the recorded value.
enum class Held { Same, Changed, Gone, Unreadable };

Held CompareWithRecord(HKEY root, const char *key, const char *name, bool isNumber,
                       const char *text) {
    BYTE data[kPathBufferSize];
    DWORD type = 0;
    DWORD size = 0;
    switch (ReadValue(root, key, name, &type, data, sizeof data, &size)) {
    case ValueLookup::Missing:
        return Held::Gone;
    case ValueLookup::Unreadable:
        return Held::Unreadable;
    case ValueLookup::Found:
        break;
    }
    if (isNumber) {
        // The record holds the number as the install wrote it, in decimal.
        char number[kNumberTextSize];
        snprintf(number, sizeof number, "%lu",
                 static_cast<unsigned long>(data[0] | data[1] << 8 | data[2] << 16 |
                                            static_cast<DWORD>(data[3]) << 24));
        return type == REG_DWORD && size == 4 && strcmp(number, text) == 0 ? Held::Same
                                                                           : Held::Changed;
    }
    size_t length = strlen(text) + 1;
    return type == REG_SZ && size == length && memcmp(data, text, length) == 0 ? Held::Same
                                                                               : Held::Changed;
}

// Decides once, before anything in it is removed, whether an add-on key
// belongs to another install: only when its loader holds other data than
// this folder's newest record wrote there. A loader that is gone names no
// owner, and without such a record the key counts as this folder's too.
Owner OwnerOf(Entry &addOn) {
    if (addOn.owner != Owner::Unknown)
        return addOn.owner;
    addOn.owner = Owner::ThisFolder;
    const Record *loader = addOn.loader;
    if (loader != nullptr && CompareWithRecord(loader->root, loader->key, loader->name, false,
                                               loader->value) == Held::Changed) {
        addOn.owner = Owner::Another;
        char key[kPathBufferSize];
        memcpy(key, addOn.key, addOn.keyLength);
        key[addOn.keyLength] = '\0';
        WriteProgressLine("Another install's key, left in place -- ", key, RootSuffix(addOn.root));
    }
    return addOn.owner;
}

// Deletes key and the keys above it while they are empty, up to the depth
// lowestDepth. False when a key could not be deleted.
bool DeleteEmptyKeys(HKEY root, const char *key, int lowestDepth) {
    char path[kPathBufferSize];
    memcpy(path, key, strlen(key) + 1);
    for (int depth = Depth(path); depth >= lowestDepth; --depth) {
        KeyRemoval removal = DeleteEmptyKey(root, path);
        if (removal == KeyRemoval::Failed) {
            WriteProgressLine("Error -- Key not removed -- ", path, RootSuffix(root));
            return false;
        }
        if (removal != KeyRemoval::Deleted)
            return true;
        *strrchr(path, '\\') = '\0';
    }
    return true;
}

} // namespace

Removal RemoveRecordedValues(Record *newest, int count, const char *programDirectory) {
    ActiveSetupKey(programDirectory, activeSetupKey);
    // At most three entries a record, so the table stays at most 3/4 full.
    size_t capacity = 16;
    while (capacity < static_cast<size_t>(count) * 4)
        capacity *= 2;
    table.entries = static_cast<Entry *>(HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(Entry)));
    if (table.entries == nullptr)
        return Removal::OutOfMemory;
    table.mask = capacity - 1;
    for (size_t i = 0; i < capacity; ++i)
        table.entries[i].kind = EntryKind::Free;

    bool added = false;
    int lowestDepth = 0;
    // The loader each add-on key got last from this folder.
    for (const Record *r = newest; r != nullptr; r = r->older) {
        size_t length = AddOnKeyLength(r->root, r->key, &lowestDepth);
        if (length != 0 && r->key[length] == '\0' && StartsWithText(r->name, "Loader") &&
            r->name[6] == '\0') {
            Entry *addOn = FindEntry(EntryKind::AddOnKey, r->root, r->key, length, nullptr, &added);
            if (addOn->loader == nullptr)
                addOn->loader = r;
        }
    }

    bool removedAll = true;
    for (const Record *r = newest; r != nullptr; r = r->older) {
        size_t length = AddOnKeyLength(r->root, r->key, &lowestDepth);
        if (length == 0) {
            WriteProgressLine("Not the add-on's key, left in place -- ", r->key, "\\", r->name,
                              RootSuffix(r->root));
            continue;
        }
        FindEntry(EntryKind::Value, r->root, r->key, strlen(r->key), r->name, &added);
        if (!added)
            continue; // a newer record of the value decided it
        Entry *addOn = FindEntry(EntryKind::AddOnKey, r->root, r->key, length, nullptr, &added);
        if (OwnerOf(*addOn) == Owner::Another)
            continue;
        Held held = CompareWithRecord(r->root, r->key, r->name, r->isNumber, r->value);
        switch (held) {
        case Held::Gone:
            break;
        case Held::Changed:
            WriteProgressLine("Changed since the install, left in place -- ", r->key, "\\", r->name,
                              RootSuffix(r->root));
            break;
        case Held::Same:
        case Held::Unreadable:
            if (held == Held::Unreadable || !DeleteValue(r->root, r->key, r->name)) {
                WriteProgressLine("Error -- Value not removed -- ", r->key, "\\", r->name,
                                  RootSuffix(r->root));
                removedAll = false;
            }
            break;
        }
    }

    // Walks start once from each key of this folder's values; a walk goes on
    // up only through keys it deleted, so the order of the walks is free.
    for (const Record *r = newest; r != nullptr; r = r->older) {
        size_t length = AddOnKeyLength(r->root, r->key, &lowestDepth);
        if (length == 0)
            continue;
        Entry *addOn = FindEntry(EntryKind::AddOnKey, r->root, r->key, length, nullptr, &added);
        if (addOn->owner == Owner::Another)
            continue;
        FindEntry(EntryKind::WalkStart, r->root, r->key, strlen(r->key), nullptr, &added);
        if (added && !DeleteEmptyKeys(r->root, r->key, lowestDepth))
            removedAll = false;
    }

    HeapFree(GetProcessHeap(), 0, table.entries);
    table = Table{};
    return removedAll ? Removal::Done : Removal::Failed;
}
