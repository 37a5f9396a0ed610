// /UNINSTALL's parts, below the removal that uses them (uninstall.h): the
// records of TEMPTXT.log read back (records.cpp), the add-on's own keys told
// from any other (add_on_keys.cpp), and the sets that keep the removal linear
// in the records (key_set.cpp).
#pragma once

#include "common/text.h"
#include "platform/win32.h"

/* records.cpp */
// One whole record of TEMPTXT.log. The texts live in the same heap block.
struct Record {
    Record *older;
    HKEY root;
    bool isNumber;
    const char *key;
    const char *value;
    const char *name;
};
enum class RecordsRead { Read, NoFile, Unreadable, OutOfMemory };
// Reads the whole records of the registry-script log at path into a list,
// newest first; *count gets their number. NoFile only when the file is not
// there; one that is there but cannot be read to its end is Unreadable. The
// caller frees the list with FreeRecords whatever the result.
RecordsRead ReadRecords(const char *path, Record **newest, int *count);
void FreeRecords(Record *&newest);

/* add_on_keys.cpp */
// The add-on key a key lies in: the characters of key that name it (0 when
// key lies in none), and the depth (in key names) of the highest key that a
// key emptied below it may be deleted up to.
struct AddOnKey {
    size_t length;
    int topDeletableDepth;
};
// The add-on keys: the maker's key of a release's Ostrel or Qel, a product's
// Applications key of either below AutoCAD's release keys, and, under
// HKEY_LOCAL_MACHINE, an Active Setup entry of the add-on (of any folder:
// only what this folder's records name is acted on).
AddOnKey FindAddOnKey(HKEY root, const char *key);
// Whether a value of an add-on key is its loader (Loader or LOADER).
bool IsLoaderName(const char *name);
// Whether a value is what /USER reads to know that the add-on is registered
// for the machine: the Loader of a maker's key under HKEY_LOCAL_MACHINE.
bool IsMachineLoader(HKEY root, const char *key, const char *name);
// The number of key names in key.
int KeyDepth(const char *key);

/* key_set.cpp */
enum class Owner : char { Unknown, ThisFolder, Another };
// A key, or a value when name is set; key holds keyLength characters that
// count (a record's key, or the add-on key at its start).
struct KeySlot {
    HKEY root;
    const char *key; // null: a free slot
    size_t keyLength;
    const char *name;
    Owner owner;          // in the set of add-on keys
    const Record *loader; // likewise: the newest record of its loader
};
// A set sized once for at most count members, so every look-up stays
// constant in cost however many records there are.
struct KeySet {
    KeySlot *slots;
    size_t mask;
};
// Makes setCount empty sets for count members each, in one heap block that
// FreeKeySets frees; false when there is no memory for them.
bool MakeKeySets(KeySet *sets, int setCount, int count);
void FreeKeySets(KeySet *sets);
// The member of root, key (keyLength characters) and name (null for a key),
// added when missing; *added says which. Names compare without regard to the
// case of ASCII letters (UpperAscii).
KeySlot *FindOrAddKey(KeySet &set, HKEY root, const char *key, size_t keyLength, const char *name,
                      bool *added);
