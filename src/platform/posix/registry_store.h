// Private to the stand-in's registry (registry.cpp, registry_file.cpp,
// heap.cpp): the in-memory tree of keys and the helpers that name, compare
// and find keys and values. Nothing outside platform/posix includes it.
#pragma once

#include "platform/posix/standin.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

// Win32 limits the stand-in enforces.
constexpr size_t kMaxKeyNameLength = 255;     // one key name component (MS)
constexpr size_t kMaxValueNameLength = 16383; // MS; Wine gives 87 from 16384 on

struct Value {
    std::string name; // case as first set
    DWORD type;
    std::vector<BYTE> data;
};

struct Key {
    std::string name; // case as created; a root's full name (HKEY_LOCAL_MACHINE)
    Key *parent = nullptr;
    // By the upper-cased UTF-16 form of the name: the order RegEnumKeyExA gives.
    std::map<std::u16string, std::shared_ptr<Key>> subkeys;
    std::vector<Value> values; // creation order
    bool deleted = false;      // removed while a handle still refers to it
    bool isVolatile = false;
    uint64_t lastWrite = 0; // FILETIME units
};

struct Root {
    std::string name; // HKEY_LOCAL_MACHINE, ... or a name found in a file
    std::shared_ptr<Key> key;
    bool listedAlone = false; // the file named the root itself: "[HKEY_FOO]"
};

// A whole registry: roots in the order a saved file lists them.
struct Tree {
    std::vector<Root> roots;
};

// The one live registry of the process.
Tree &LiveRegistry();
// Replaces the live registry (keys of the old one count as deleted for any
// handle still open on them).
void ReplaceLiveRegistry(Tree &&tree);

// The name of a predefined root handle (null for anything else).
const char *PredefinedRootName(HKEY root);
// The full root name for a name or an abbreviation (HKLM, hkey_current_user),
// or null if it is none of the predefined roots.
const char *CanonicalRootName(const std::string &name);
// The root of that name in the tree, created (empty) if missing.
Root &RootNamed(Tree &tree, const std::string &name);
// Null if the tree has no root of that name.
Root *FindRoot(Tree &tree, const std::string &name);

// cp1252 <-> UTF-16 for one character. The five bytes cp1252 leaves undefined
// map to the C1 controls, as MultiByteToWideChar does.
char16_t Cp1252ToUnicode(BYTE c);
bool UnicodeToCp1252(char16_t c, BYTE *out);
// The comparison form of a key or value name: UTF-16, upper-cased.
std::u16string NameKey(const std::string &name);

Key *FindSubkey(Key &key, const std::string &name);
// Finds or creates; a created key keeps the case given here.
Key *AddSubkey(Key &key, const std::string &name, uint64_t now, bool *created);
Value *FindValue(Key &key, const std::string &name);
void SetValue(Key &key, const std::string &name, DWORD type, const BYTE *data, size_t size,
              uint64_t now);
bool DeleteValue(Key &key, const std::string &name);
// Marks a key and everything below it deleted and detaches it from its parent.
void DeleteKeyTree(Key &key);
void MarkTreeDeleted(Key &key);

// Splits a subkey path at single backslashes, skipping empty components (a
// trailing backslash is allowed). ERROR_BAD_PATHNAME for a leading backslash,
// ERROR_INVALID_PARAMETER for a component over kMaxKeyNameLength.
LSTATUS SplitKeyPath(const char *path, std::vector<std::string> *components);

// Current time as a FILETIME count.
uint64_t NowFileTime();

// heap.cpp
void ClearHeapFault();
// registry_file.cpp
void ClearSaveFault();

} // namespace standin
