// /UNINSTALL: the recorded values removed newest first, each only while it
// holds what was recorded and while its add-on key still belongs to this
// folder's install; then the keys left empty, walking up.
//
// Three sets, sized from the record count, remember the values already
// handled (only the newest record of a value counts), the owner of each
// add-on key and the keys a walk started from, so the cost per record stays
// the same however many products there are.
#include "ctl/uninstall.h"
#include "ctl/ctl.h"
#include "log/log.h"
#include "registry/registry.h"

namespace {

// The values handled already, the add-on keys (with their owner and
// loader) and the keys walks started from.
enum SetIndex { kValues, kAddOnKeys, kWalkStarts, kSetCount };

// The number a record states, as the install wrote it: in decimal, as
// "%lu" gives it. False for any other text, which no value can hold.
bool RecordedNumber(const char *text, DWORD *number) {
    uint64_t parsed = 0;
    size_t length = 0;
    for (; text[length] >= '0' && text[length] <= '9' && parsed <= 0xFFFFFFFFu; ++length)
        parsed = parsed * 10 + static_cast<unsigned>(text[length] - '0');
    *number = static_cast<DWORD>(parsed);
    return length > 0 && text[length] == '\0' && parsed <= 0xFFFFFFFFu &&
           (text[0] != '0' || length == 1);
}

// Whether the registry holds exactly the recorded value: Found with *same.
ValueLookup CompareWithRecord(const Record &record, bool *same) {
    BYTE number[4];
    DWORD value = 0;
    const BYTE *data = reinterpret_cast<const BYTE *>(record.value);
    DWORD size = static_cast<DWORD>(strlen(record.value) + 1);
    if (record.isNumber) {
        data = RecordedNumber(record.value, &value) ? number : nullptr;
        DwordData(value, number);
        size = sizeof number;
    }
    return CompareValue(record.root, record.key, record.name, record.isNumber ? REG_DWORD : REG_SZ,
                        data, size, same);
}

// Decides once, before anything in it is removed, whether an add-on key
// belongs to another install: only when its loader holds other data than
// this folder's newest record wrote there. A loader that is gone names no
// owner, and without such a record the key counts as this folder's too.
Owner OwnerOf(KeySlot &addOn) {
    if (addOn.owner != Owner::Unknown)
        return addOn.owner;
    bool same = false;
    bool taken = addOn.loader != nullptr &&
                 CompareWithRecord(*addOn.loader, &same) == ValueLookup::Found && !same;
    addOn.owner = taken ? Owner::Another : Owner::ThisFolder;
    if (taken) {
        char key[kPathBufferSize];
        memcpy(key, addOn.key, addOn.keyLength);
        key[addOn.keyLength] = '\0';
        WriteProgressLine("Another install's key, left in place -- ", key, RootSuffix(addOn.root));
    }
    return addOn.owner;
}

// The first pass: the loader each add-on key got last from this folder.
void NoteLoaders(const Record *newest, KeySet *sets) {
    bool added = false;
    for (const Record *r = newest; r != nullptr; r = r->older) {
        AddOnKey addOn = FindAddOnKey(r->root, r->key);
        if (addOn.length == 0 || r->key[addOn.length] != '\0' || !IsLoaderName(r->name))
            continue;
        KeySlot *slot =
            FindOrAddKey(sets[kAddOnKeys], r->root, r->key, addOn.length, nullptr, &added);
        if (slot->loader == nullptr)
            slot->loader = r;
    }
}

// What /USER reads to know that the add-on is registered for the machine
// goes first, so that a logon while the rest is removed, however long that
// takes, writes no user's half back. Only a loader that holds what this
// folder's newest record of it wrote; the pass over every value then finds
// it gone, and logs the others and any refusal as it would without this one.
void RemoveMachineLoaders(const Record *newest, KeySet *sets) {
    bool added = false;
    for (const Record *r = newest; r != nullptr; r = r->older) {
        if (!IsMachineLoader(r->root, r->key, r->name))
            continue;
        const KeySlot *addOn =
            FindOrAddKey(sets[kAddOnKeys], r->root, r->key, strlen(r->key), nullptr, &added);
        bool same = false;
        if (addOn->loader == r && CompareWithRecord(*r, &same) == ValueLookup::Found && same)
            DeleteValue(r->root, r->key, r->name);
    }
}

// One value, by its newest record, unless its key is another install's.
// False when it stays though it holds what was recorded.
bool RemoveValue(const Record &r, size_t addOnLength, KeySet *sets) {
    bool added = false;
    FindOrAddKey(sets[kValues], r.root, r.key, strlen(r.key), r.name, &added);
    if (!added)
        return true; // a newer record of the value decided it
    KeySlot *addOn = FindOrAddKey(sets[kAddOnKeys], r.root, r.key, addOnLength, nullptr, &added);
    if (OwnerOf(*addOn) == Owner::Another)
        return true;
    bool same = false;
    switch (CompareWithRecord(r, &same)) {
    case ValueLookup::Missing:
        return true;
    case ValueLookup::Found:
        if (!same) {
            WriteProgressLine("Changed since the install, left in place -- ", r.key, "\\", r.name,
                              RootSuffix(r.root));
            return true;
        }
        if (DeleteValue(r.root, r.key, r.name))
            return true;
        break;
    case ValueLookup::Unreadable:
        break;
    }
    WriteProgressLine("Error -- Value not removed -- ", r.key, "\\", r.name, RootSuffix(r.root));
    return false;
}

// The second pass. False when a value could not be removed.
bool RemoveValues(const Record *newest, KeySet *sets) {
    bool removedAll = true;
    for (const Record *r = newest; r != nullptr; r = r->older) {
        AddOnKey addOn = FindAddOnKey(r->root, r->key);
        if (addOn.length == 0)
            WriteProgressLine("Not the add-on's key, left in place -- ", r->key, "\\", r->name,
                              RootSuffix(r->root));
        else if (!RemoveValue(*r, addOn.length, sets))
            removedAll = false;
    }
    return removedAll;
}

// Deletes key and the keys above it while they are empty, up to the depth
// topDepth. False when a key could not be deleted.
bool DeleteEmptyKeys(HKEY root, const char *key, int topDepth) {
    char path[kPathBufferSize];
    memcpy(path, key, strlen(key) + 1);
    for (int depth = KeyDepth(path); depth >= topDepth; --depth) {
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

// The last pass: walks start once from each key of this folder's values; a
// walk goes on up only through keys it deleted, so the order of the walks is
// free. False when a key could not be deleted.
bool DeleteEmptiedKeys(const Record *newest, KeySet *sets) {
    bool deletedAll = true;
    bool added = false;
    for (const Record *r = newest; r != nullptr; r = r->older) {
        AddOnKey addOn = FindAddOnKey(r->root, r->key);
        if (addOn.length == 0 ||
            FindOrAddKey(sets[kAddOnKeys], r->root, r->key, addOn.length, nullptr, &added)->owner ==
                Owner::Another)
            continue;
        FindOrAddKey(sets[kWalkStarts], r->root, r->key, strlen(r->key), nullptr, &added);
        if (added && !DeleteEmptyKeys(r->root, r->key, addOn.topDeletableDepth))
            deletedAll = false;
    }
    return deletedAll;
}

} // namespace

Removal RemoveRecordedValues(Record *newest, int count) {
    KeySet sets[kSetCount];
    if (!MakeKeySets(sets, kSetCount, count))
        return Removal::OutOfMemory;
    NoteLoaders(newest, sets);
    RemoveMachineLoaders(newest, sets);
    bool removedAll = RemoveValues(newest, sets);
    removedAll &= DeleteEmptiedKeys(newest, sets);
    FreeKeySets(sets);
    return removedAll ? Removal::Done : Removal::Failed;
}

// Exit 4 tells the uninstaller that nothing of the add-on is left to remove,
// so that it deletes the files and the records with them: only when there
// are no records at all. A file that cannot be read removes nothing.
int UninstallRegistration(const CtlRun &run) {
    char path[kPathBufferSize];
    Record *records = nullptr;
    int count = 0;
    RecordsRead read = ScriptLogPath(run.directory, path) ? ReadRecords(path, &records, &count)
                                                          : RecordsRead::NoFile;
    Removal removal = Removal::OutOfMemory;
    if (read == RecordsRead::Read && count > 0)
        removal = RemoveRecordedValues(records, count);
    FreeRecords(records);
    switch (read) {
    case RecordsRead::NoFile:
        return EndWith("TEMPTXT.log not found\n\n", kExitNoRecords);
    case RecordsRead::Unreadable:
        return EndWith("Error -- TEMPTXT.log cannot be read\n\n", kExitWriteFailed);
    case RecordsRead::OutOfMemory:
        return EndWith("Error -- Out of memory\n\n", kExitWriteFailed);
    case RecordsRead::Read:
        break;
    }
    if (count == 0)
        return EndWith("TEMPTXT.log holds no record\n\n", kExitNoRecords);
    if (removal == Removal::OutOfMemory)
        return EndWith("Error -- Out of memory\n\n", kExitWriteFailed);
    return EndWith("Uninstallation Completed\n\n",
                   removal == Removal::Done ? kExitDone : kExitWriteFailed);
}
