// The other edition's AutoCAD. On 64-bit Windows a 32-bit AutoCAD registers
// in the 32-bit registry view and a 64-bit one in the 64-bit view, and each
// build sees only its own: where this build finds none, the other view (only
// ever read) tells the administrator which build the machine needs.
#include "ctl/ctl.h"
#include "log/log.h"
#include "registry/registry.h"
#include "steps/key_paths.h"

namespace {

// A product key of the release that opens in the other view and not in this
// build's. On 32-bit Windows, which ignores the view, the two are one, so
// nothing is found there however the own view's look-up went.
bool InOtherViewOnly(const char *releaseKeyName, REGSAM view) {
    char releaseKey[kPathBufferSize];
    JoinText(releaseKey, kReleaseKeyPrefix, releaseKeyName);
    char **products = nullptr;
    int productCount = 0;
    ListSubkeys(HKEY_LOCAL_MACHINE, releaseKey, products, productCount, view);
    bool found = false;
    for (int i = 0; i < productCount && !found; ++i) {
        char productKey[kPathBufferSize];
        found = products[i][0] != '\0' && JoinText(productKey, releaseKey, "\\", products[i]) &&
                KeyOpens(HKEY_LOCAL_MACHINE, productKey, view) &&
                !KeyOpens(HKEY_LOCAL_MACHINE, productKey);
    }
    FreeSubkeyList(products, productCount);
    return found;
}

} // namespace

bool ReportOtherEdition(const Setup &setup) {
    REGSAM view = OtherRegistryView();
    bool found = false;
    for (int i = 0; i < setup.releaseCount; ++i) {
        char releaseNumber[kReleaseNumberSize];
        char releaseKeyName[kReleaseKeyNameSize];
        CopyRelease(setup.releaseList, i, releaseNumber, releaseKeyName);
        if (!InOtherViewOnly(releaseKeyName, view))
            continue;
        WriteProgressLine("AutoCAD of the other edition only -- ", releaseKeyName,
                          view == KEY_WOW64_32KEY ? " -- 32-bit registry view.\n"
                                                  : " -- 64-bit registry view.\n");
        found = true;
    }
    return found;
}
