// The simulation's registry tree in memory, and names compared as the NT
// registry does: UTF-16, upper-cased. Subkeys enumerate in ordinal order of
// those names, as an NT hive keeps them (Wine sorts lower-cased names: they
// differ for [ \ ] ^ _ `); values in creation order (Wine sorts them).

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_store.h"

#include <string.h>

namespace simulation {
namespace {

Tree gRegistry;

const struct {
    HKEY handle;
    const char *name;
    const char *shortName;
} kRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
};

} // namespace

Tree &LiveRegistry() {
    return gRegistry;
}

void ReplaceLiveRegistry(Tree &&tree) {
    CloseAllKeyHandles();
    gRegistry = std::move(tree);
}

Key *RootKey(Tree &tree, HKEY root) {
    for (size_t i = 0; i < 2; ++i)
        if (kRoots[i].handle == root) {
            if (!tree.roots[i])
                tree.roots[i] = std::make_shared<Key>(Key{kRoots[i].name, nullptr, {}, {}});
            return tree.roots[i].get();
        }
    return nullptr;
}

HKEY RootNamed(const std::string &name) {
    std::u16string key = NameKey(name);
    for (const auto &r : kRoots)
        if (key == NameKey(r.name) || key == NameKey(r.shortName))
            return r.handle;
    return nullptr;
}

std::u16string NameKey(const std::string &name) {
    std::u16string key;
    for (char c : name) {
        BYTE b = static_cast<BYTE>(c);
        // The NT upcase table maps the micro sign and the f with hook out of
        // cp1252; the other letters as cp1252 does.
        key.push_back(b == 0xB5   ? u'\u039C'
                      : b == 0x83 ? u'\u0191'
                                  : static_cast<char16_t>(Cp1252ToUnicode(Cp1252Upper(b))));
    }
    return key;
}

std::vector<std::u16string> PathKeys(const Key &key) {
    std::vector<std::u16string> path;
    for (const Key *k = &key; k->parent; k = k->parent)
        path.insert(path.begin(), NameKey(k->name));
    return path;
}

Key *WalkExisting(Key *base, const std::vector<std::string> &components, size_t *found) {
    Key *k = base;
    for (*found = 0; *found < components.size(); ++*found) {
        auto it = k->subkeys.find(NameKey(components[*found]));
        if (it == k->subkeys.end())
            break;
        k = it->second.get();
    }
    return k;
}

Key *AddSubkey(Key &key, const std::string &name) {
    std::shared_ptr<Key> &slot = key.subkeys[NameKey(name)];
    if (!slot)
        slot = std::make_shared<Key>(Key{name, &key, {}, {}});
    return slot.get();
}

Value *FindValue(Key &key, const std::string &name) {
    std::u16string wanted = NameKey(name);
    for (Value &v : key.values)
        if (v.name.size() == name.size() && NameKey(v.name) == wanted)
            return &v;
    return nullptr;
}

void SetValue(Key &key, const std::string &name, DWORD type, const BYTE *data, size_t size) {
    Value *v = FindValue(key, name);
    if (!v)
        v = &*key.values.insert(key.values.end(), Value{name, type, {}});
    v->type = type;
    v->data.assign(data, data + size);
}

bool DeleteValue(Key &key, const std::string &name) {
    Value *v = FindValue(key, name);
    if (!v)
        return false;
    key.values.erase(key.values.begin() + (v - key.values.data()));
    return true;
}

void DeleteKey(Key &key) {
    Key *parent = key.parent;
    key.parent = nullptr;
    if (parent)
        parent->subkeys.erase(NameKey(key.name)); // may free `key`
}

LSTATUS SplitKeyPath(const char *path, std::vector<std::string> *components) {
    components->clear();
    if (!path || !*path)
        return ERROR_SUCCESS;
    if (path[0] == '\\')
        return ERROR_BAD_PATHNAME;
    for (const char *p = path; *p; p += *p == '\\') {
        size_t length = strcspn(p, "\\");
        if (length > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        if (length > 0)
            components->emplace_back(p, length);
        p += length;
    }
    return ERROR_SUCCESS;
}

} // namespace simulation
