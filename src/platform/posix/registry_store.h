// Private to the stand-in's registry: the in-memory tree of keys, the helpers
// that name, compare and find keys and values, the switches that refuse
// writes (read-only roots and injected faults), and the registry file's lock.
// Nothing outside platform/posix includes it.
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
constexpr size_t kMaxKeyDepth = 512;          // levels below a root (MS)

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
};

// A whole registry: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, in that order.
struct Tree {
    std::shared_ptr<Key> roots[2];
};

// --- registry_tree.cpp ------------------------------------------------------

// The one live registry of the process.
Tree &LiveRegistry();
// Replaces the live registry; every open key handle is closed.
void ReplaceLiveRegistry(Tree &&tree);

// The root key of a predefined root handle (HKLM, HKCU) in a tree, created
// empty if missing; null for any other handle.
Key *RootKey(Tree &tree, HKEY root);
// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER for its full name or abbreviation
// (HKLM, hkey_current_user), in any case; null for any other name.
HKEY RootNamed(const std::string &name);

// The comparison form of a key or value name: UTF-16, upper-cased.
std::u16string NameKey(const std::string &name);
// The NameKey of each component of a key's path below its root.
std::vector<std::u16string> PathKeys(const Key &key);

Key *FindSubkey(Key &key, const std::string &name);
// Follows components below base as far as they exist; *found gets how many did.
Key *WalkExisting(Key *base, const std::vector<std::string> &components, size_t *found);
// Finds or creates; a created key keeps the case given here.
Key *AddSubkey(Key &key, const std::string &name);
Value *FindValue(Key &key, const std::string &name);
void SetValue(Key &key, const std::string &name, DWORD type, const BYTE *data, size_t size);
bool DeleteValue(Key &key, const std::string &name);
// Detaches a key without subkeys from its parent and frees it unless a
// handle still holds it; such a handle then works on a detached key.
void DeleteKey(Key &key);

// Splits a subkey path at single backslashes, skipping empty components (a
// trailing backslash is allowed). ERROR_BAD_PATHNAME for a leading backslash,
// ERROR_INVALID_PARAMETER for a component over kMaxKeyNameLength.
LSTATUS SplitKeyPath(const char *path, std::vector<std::string> *components);

// --- registry_api.cpp ---------------------------------------------------------

// Closes every open key handle.
void CloseAllKeyHandles();
// The key an open handle stands for (and its root), when the handle was
// opened with that right.
LSTATUS KeyOfHandle(HKEY handle, DWORD right, Key **key, HKEY *root);

// --- registry_faults.cpp ------------------------------------------------------

// Writes under that root are refused (REGOST_READONLY_ROOTS).
bool IsReadOnlyRoot(HKEY root);
void ClearReadOnlyRoots();
// An injected fault refuses creating or opening for writing this key path
// (NameKeys below the root).
bool CreateFaultCovers(HKEY root, const std::vector<std::u16string> &path);
// An injected fault refuses setting this value of this key.
bool SetFaultCovers(HKEY root, const Key &key, const std::string &valueName);
// Counts one RegSetValueExA call; true when the countdown says it fails.
bool TakeSetFault();
bool EnumFaultAt(DWORD index);
// Counts one HeapAlloc; true when the countdown says it fails.
bool TakeAllocFault();
// How many bytes the next save may write before it fails as a full disk
// would; -1 for no limit. Taking it switches the fault off.
long TakeSaveFault();

// --- registry_lock.cpp --------------------------------------------------------

// The file a registry path stands for: symbolic links followed to the end,
// even to a target that does not exist yet.
std::string RegistryFileTarget(const char *unixPath);
// Takes the run's exclusive lock on the registry file (waiting for another
// run that holds it) and opens it for reading. Anything but a regular file is
// refused. *fd gets the open file, or -1 when there is no file (an empty
// registry). False with a one-line reason in *error.
bool LockRegistryFile(const std::string &target, int *fd, std::string *error);
// Drops the lock a LockRegistryFile took (nothing if none is held).
void UnlockRegistryFile();

} // namespace standin
