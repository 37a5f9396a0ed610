// The maker's own key of an add-on: where its file lies, and the custom data.
#include "log/log.h"
#include "steps/key_paths.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

static_assert(TextLength(kVendorKeyPrefix) + kReleaseNumberSize + TextLength("\\Ostrel") <
                  kPathBufferSize,
              "the vendor key fits its buffer");

} // namespace

void VendorKeyPath(const char *releaseNumber, bool secondAddOn, char *key) {
    JoinText(key, kVendorKeyPrefix, releaseNumber, secondAddOn ? "\\Qel" : "\\Ostrel");
}

bool WriteVendorKey(StepWrites &writes, const ReleaseInput &release, bool secondAddOn) {
    char key[kPathBufferSize];
    VendorKeyPath(release.number, secondAddOn, key);
    const char *loaderPath = secondAddOn ? release.secondLoaderPath : release.mainLoaderPath;
    const char *messageName = secondAddOn ? "QEL" : "Ostrel";

    // The error lines read "... registry Loader --Loader -- ..." with no blank
    // between the dashes and the repeated name; log readers match them as is.
    bool succeeded = true;
    if (!WriteStepString(writes, HKEY_LOCAL_MACHINE, key, "Loader", loaderPath)) {
        WriteStepError(writes, "Error -- ", messageName, " registry Loader --", "Loader",
                       " -- HKEY_LOCAL_MACHINE.\n");
        CountFailedWrite(writes);
        succeeded = false;
    }
    if (!WriteStepString(writes, HKEY_CURRENT_USER, key, "Loader", loaderPath)) {
        WriteStepError(writes, "Error -- ", messageName, " registry Loader --", "Loader",
                       " -- HKEY_CURRENT_USER.\n");
        CountFailedWrite(writes);
        succeeded = false;
    }

    if (!secondAddOn && release.customData[0] != '\0' &&
        !WriteStepString(writes, HKEY_LOCAL_MACHINE, key, "CustomData", release.customData)) {
        WriteStepError(writes, "Error -- Ostrel registry CustomData --", "CustomData",
                       " -- HKEY_LOCAL_MACHINE.\n");
        CountFailedWrite(writes);
        succeeded = false;
    }
    return succeeded;
}
