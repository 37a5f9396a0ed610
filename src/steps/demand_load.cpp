// AutoCAD's demand-load entries of an add-on, under every installed product
// of a release. Each value goes to HKEY_LOCAL_MACHINE and, when that fails,
// to the same key path under HKEY_CURRENT_USER.
#include "log/log.h"
#include "registry/registry.h"
#include "steps/key_paths.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

const char *const kGroupName = "KTVR_OSTREL";
constexpr DWORD kLoadCtrlsValue = 15;

// The longest key below a product: its application key and "\Commands".
constexpr char kLongestProductSuffix[] = "\\Applications\\Ostrel\\Commands";
// A product's name comes from the listing, so it has at most
// kSubkeyNameBufferSize - 1 characters and every key path below fits.
static_assert(TextLength(kReleaseKeyPrefix) + kReleaseKeyNameSize + TextLength("\\") +
                      kSubkeyNameBufferSize + TextLength(kLongestProductSuffix) <
                  kPathBufferSize,
              "every key path below a product fits its buffer");

const char *const kCommands[] = {
    "KXMAKE", "KX1",       "KXREFRESH", "KX2",      "KXSCALE", "KX3",      "KXPLAN",  "KX4",
    "KXUCS",  "KX5",       "KXVIEWUCS", "KX6",      "KXMENU",  "KX7",      "KXMENU?", "KXLOGO",
    "KXLIST", "KX8",       "KXVERSION", "KX9",      "KXHELP",  "KX?",      "KXABOUT", "KXGOTO",
    "KX10",   "KXOPTIONS", "KX11",      "KXREPAIR", "KX12",    "KXUPDATE",
};

// One value of the demand-load entries. The error lines name it as
// messageHead followed by messageName.
struct DemandLoadValue {
    const char *keyPath;
    const char *name;
    const char *text; // null for the LOADCTRLS number
    DWORD number;
    const char *messageHead;
    const char *messageName;
};

bool WriteUnder(StepWrites &writes, HKEY root, const DemandLoadValue &value) {
    if (value.text == nullptr)
        return WriteStepDword(writes, root, value.keyPath, value.name, value.number);
    return WriteStepString(writes, root, value.keyPath, value.name, value.text);
}

// A value taken by HKEY_CURRENT_USER counts as written.
bool WriteWithFallback(StepWrites &writes, const DemandLoadValue &value) {
    if (WriteUnder(writes, HKEY_LOCAL_MACHINE, value))
        return true;
    WriteStepError(writes, value.messageHead, value.messageName, " -- HKEY_LOCAL_MACHINE.\n");
    if (WriteUnder(writes, HKEY_CURRENT_USER, value))
        return true;
    WriteStepError(writes, value.messageHead, value.messageName, " -- HKEY_CURRENT_USER.\n");
    CountFailedWrite(writes);
    return false;
}

bool WriteProductEntries(StepWrites &writes, const char *productKey, const char *loaderPath,
                         bool secondAddOn) {
    char applicationKey[kPathBufferSize];
    char groupKey[kPathBufferSize];
    char commandsKey[kPathBufferSize];
    JoinText(applicationKey, productKey,
             secondAddOn ? "\\Applications\\Qel" : "\\Applications\\Ostrel");
    JoinText(groupKey, applicationKey, "\\Groups");
    JoinText(commandsKey, applicationKey, "\\Commands");
    const char *description =
        secondAddOn ? "Sarvenet (https://www.quenlar.com)" : "Lumenwarp (https://www.quenlar.com)";
    const char *head = "Error -- AutoCAD registry ";

    bool succeeded = true;
    succeeded &= WriteWithFallback(writes, {applicationKey, "LOADCTRLS", nullptr, kLoadCtrlsValue,
                                            "Error -- AutoCAD registry -- ", "LOADCTRLS"});
    succeeded &=
        WriteWithFallback(writes, {applicationKey, "LOADER", loaderPath, 0, head, "LOADER"});
    succeeded &= WriteWithFallback(
        writes, {applicationKey, "DESCRIPTION", description, 0, head, "DESCRIPTION"});
    if (secondAddOn)
        return succeeded;

    succeeded &= WriteWithFallback(writes, {groupKey, kGroupName, kGroupName, 0,
                                            "Error -- AutoCAD registry Groups-", kGroupName});

    for (const char *command : kCommands)
        succeeded &= WriteWithFallback(writes, {commandsKey, command, command, 0,
                                                "Error -- AutoCAD registry Commands-", command});
    return succeeded;
}

} // namespace

bool WriteDemandLoadEntries(StepWrites &writes, const ReleaseInput &release, bool secondAddOn) {
    char releaseKey[kPathBufferSize];
    JoinText(releaseKey, kReleaseKeyPrefix, release.keyName);
    const char *loaderPath = secondAddOn ? release.secondLoaderPath : release.mainLoaderPath;

    // A release key that an uninstalled AutoCAD left behind empty is no
    // AutoCAD either.
    char **products = nullptr;
    int productCount = 0;
    if (!ListSubkeys(HKEY_LOCAL_MACHINE, releaseKey, products, productCount) || productCount == 0) {
        WriteProgressLine("Error -- AutoCAD not found.\n");
        FreeSubkeyList(products, productCount);
        return false;
    }

    bool succeeded = true;
    for (int i = 0; i < productCount; ++i) {
        // A name the code page cannot spell comes back with '?' in it and
        // names no key: writing under it would create a bogus twin product.
        char productKey[kPathBufferSize];
        JoinText(productKey, releaseKey, "\\", products[i]);
        if (products[i][0] == '\0') {
            WriteProgressLine("Error -- AutoCAD product name too long.\n");
        } else if (!KeyOpens(HKEY_LOCAL_MACHINE, productKey)) {
            WriteProgressLine("Error -- AutoCAD product not found -- ", products[i], ".\n");
        } else {
            succeeded &= WriteProductEntries(writes, productKey, loaderPath, secondAddOn);
            if (!secondAddOn)
                ++writes.tally.registeredProducts;
            continue;
        }
        CountFailedWrite(writes);
        succeeded = false;
    }
    FreeSubkeyList(products, productCount);
    return succeeded;
}
