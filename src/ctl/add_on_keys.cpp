// Which recorded keys an uninstall may act on: only those in one of the
// add-on's own keys, and, as keys empty out, none above the key that holds
// them all (never Software itself, nor an AutoCAD product key of
// HKEY_LOCAL_MACHINE or anything above it, nor anything above the entry).
//
// An Active Setup entry counts by its shape, whatever folder's hash it is
// named by: the folder may be reached by another name in this run (a link,
// a drive letter of its own, a share, or moved), and the records say which
// entries its installs wrote.
#include "ctl/uninstall_parts.h"
#include "steps/key_paths.h"

namespace {

constexpr char kApplications[] = "Applications";
constexpr char kLoaderName[] = "Loader";
struct Name {
    const char *text;
    size_t length;
};
constexpr Name kAddOnNames[] = {{"Ostrel", TextLength("Ostrel")}, {"Qel", TextLength("Qel")}};

// The prefixes end in a backslash, so a key right below one has one name
// more than the prefix has backslashes.
constexpr int Backslashes(const char *text) {
    int count = 0;
    for (; *text != '\0'; ++text)
        count += *text == '\\' ? 1 : 0;
    return count;
}
constexpr int kProductKeyDepth = Backslashes(kReleaseKeyPrefix) + 2; // below the release key
// Software\<maker>: Software itself stays whatever it holds.
constexpr int kTopDeletableDepth = 2;
// A product's Applications key: HKEY_LOCAL_MACHINE's product keys are AutoCAD's.
constexpr int kTopDeletableProductDepth = kProductKeyDepth + 1;

bool StartsWithText(const char *text, const char *prefix) {
    size_t length = strlen(prefix);
    return strlen(text) >= length && SameTextIgnoringCase(text, prefix, length);
}

// The length of the name at text, up to a backslash or the end.
size_t NameLength(const char *text) {
    size_t length = 0;
    while (text[length] != '\0' && text[length] != '\\')
        ++length;
    return length;
}

bool IsName(const char *text, const char *name, size_t length) {
    return NameLength(text) == length && SameTextIgnoringCase(text, name, length);
}

// Whether key is an add-on's Active Setup entry: "Ostrel-" and the hash in
// hex right below the entries.
bool IsActiveSetupEntry(const char *key) {
    if (!StartsWithText(key, kActiveSetupPrefix))
        return false;
    const char *name = key + TextLength(kActiveSetupPrefix);
    if (strlen(name) != TextLength(kEntryNamePrefix) + kEntryHashDigits ||
        !SameTextIgnoringCase(name, kEntryNamePrefix, TextLength(kEntryNamePrefix)))
        return false;
    for (const char *digit = name + TextLength(kEntryNamePrefix); *digit != '\0'; ++digit) {
        char c = UpperAscii(*digit);
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// After a name and its backslash; null when there is no text, or the name
// is empty, or the text ends with it.
const char *SkipName(const char *text) {
    size_t length = text != nullptr ? NameLength(text) : 0;
    return length > 0 && text[length] == '\\' ? text + length + 1 : nullptr;
}

// Where the add-on's name stands in key, if anywhere: after the maker's
// prefix and the release, or after the release key prefix, the release, the
// product and Applications.
const char *AddOnNameAt(const char *key) {
    if (StartsWithText(key, kVendorKeyPrefix))
        return SkipName(key + TextLength(kVendorKeyPrefix));
    if (!StartsWithText(key, kReleaseKeyPrefix))
        return nullptr;
    const char *applications = SkipName(SkipName(key + TextLength(kReleaseKeyPrefix)));
    if (applications == nullptr || !IsName(applications, kApplications, TextLength(kApplications)))
        return nullptr;
    return SkipName(applications);
}

} // namespace

int KeyDepth(const char *key) {
    return Backslashes(key) + 1;
}

bool IsLoaderName(const char *name) {
    return strlen(name) == TextLength(kLoaderName) &&
           SameTextIgnoringCase(name, kLoaderName, TextLength(kLoaderName));
}

bool IsMachineLoader(HKEY root, const char *key, const char *name) {
    return root == HKEY_LOCAL_MACHINE && IsLoaderName(name) &&
           StartsWithText(key, kVendorKeyPrefix) && FindAddOnKey(root, key).length == strlen(key);
}

AddOnKey FindAddOnKey(HKEY root, const char *key) {
    if (root == HKEY_LOCAL_MACHINE && IsActiveSetupEntry(key))
        return AddOnKey{strlen(key), KeyDepth(key)};
    AddOnKey none = {0, 0};
    const char *at = AddOnNameAt(key);
    if (at == nullptr)
        return none;
    for (const Name &name : kAddOnNames) {
        if (IsName(at, name.text, name.length)) {
            bool product = root == HKEY_LOCAL_MACHINE && StartsWithText(key, kReleaseKeyPrefix);
            return AddOnKey{static_cast<size_t>(at - key) + name.length,
                            product ? kTopDeletableProductDepth : kTopDeletableDepth};
        }
    }
    return none;
}
