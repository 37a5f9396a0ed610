// Private to the simulation's registry: the in-memory tree, name helpers,
// the switches that refuse writes, and the registry file's lock.
#pragma once

#include "platform/posix/simulation.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simulation {

constexpr size_t kMaxKeyNameLength = 255;     // one key name component
constexpr size_t kMaxValueNameLength = 16383; // Wine gives 87 from 16384 on
constexpr size_t kMaxKeyDepth = 512;          // levels below a root
constexpr char kHeader4[] = "REGEDIT4";
constexpr char kHeader5[] = "Windows Registry Editor Version 5.00";

struct Value {
    std::string name; // case as first set
    DWORD type;
    std::vector<BYTE> data;
};

struct Key {
    std::string name; // case as created; a root's full name
    Key *parent = nullptr;
    // By NameKey: the order RegEnumKeyExA gives.
    std::map<std::u16string, std::shared_ptr<Key>> subkeys;
    std::vector<Value> values; // creation order
};

struct Tree {
    std::shared_ptr<Key> roots[2]; // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER
};

// registry_tree.cpp
Tree &LiveRegistry();
void ReplaceLiveRegistry(Tree &&tree); // closes every key handle
// The root key of HKLM or HKCU in a tree (created if missing); else null.
Key *RootKey(Tree &tree, HKEY root);
// HKLM or HKCU by full or short name, any case; else null.
HKEY RootNamed(const std::string &name);
// The comparison form of a name: UTF-16, upper-cased as NT does.
std::u16string NameKey(const std::string &name);
std::vector<std::u16string> PathKeys(const Key &key); // below its root
// Follows components as far as they exist; *found gets how many did.
Key *WalkExisting(Key *base, const std::vector<std::string> &components, size_t *found);
Key *AddSubkey(Key &key, const std::string &name); // finds or creates
Value *FindValue(Key &key, const std::string &name);
void SetValue(Key &key, const std::string &name, DWORD type, const BYTE *data, size_t size);
bool DeleteValue(Key &key, const std::string &name);
// Detaches a key without subkeys; a handle still holding it keeps it alive.
void DeleteKey(Key &key);
// Splits at backslashes, skipping empty names; ERROR_BAD_PATHNAME for a
// leading one, ERROR_INVALID_PARAMETER for a name over 255.
LSTATUS SplitKeyPath(const char *path, std::vector<std::string> *components);

// registry_api.cpp
void CloseAllKeyHandles();
// The key and root behind a handle opened with that right.
LSTATUS KeyOfHandle(HKEY handle, DWORD right, Key **key, HKEY *root);

// registry_faults.cpp
bool IsReadOnlyRoot(HKEY root);
bool CreateFaultCovers(HKEY root, const std::vector<std::u16string> &path);
bool SetFaultCovers(HKEY root, const Key &key, const std::string &valueName);
bool TakeSetFault(); // counts a set; true when it is to fail
bool EnumFaultAt(DWORD index);
bool TakeAllocFault(); // counts an allocation; true when it is to fail
long TakeSaveFault();  // bytes the next save may write, -1: no limit

// registry_load.cpp
// The folder of a Unix path ("." for a bare name).
std::string FolderOf(const std::string &path);
// The file a path names, symbolic links followed (the target may not exist).
std::string RegistryFileTarget(const char *unixPath);
// Waits for the run's lock on the registry file and opens it (*fd -1: no
// file). False and a reason for anything but a regular file.
bool LockRegistryFile(const std::string &target, int *fd, std::string *error);
void UnlockRegistryFile();

// registry_parse.cpp
// Reads a registry file's lines, in cp1252 (utf16: the file was UTF-16LE),
// into *tree; false and *error ("line N: ...") when the file is malformed.
bool ParseRegistryText(const std::string &text, bool utf16, Tree *tree, std::string *error);

} // namespace simulation
