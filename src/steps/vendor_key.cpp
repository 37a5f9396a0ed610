// The maker's own key of an add-on: where its file lies, and the custom data.
#include "log/log.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

static_assert(TextLength(kVendorKeyPrefix) + kReleaseNumberSize + TextLength("\\Ostrel") <
                  kPathBufferSize,
              "the vendor key fits its buffer");

} // namespace

bool WriteVendorKey(const char *releaseNumber, const char *loaderPath, const char *customData,
                    bool secondAddOn) {
    char key[kPathBufferSize];
    JoinText(key, kVendorKeyPrefix, releaseNumber, secondAddOn ? "\\Qel" : "\\Ostrel");
    const char *messageName = secondAddOn ? "QEL" : "Ostrel";

    // The error lines read "... registry Loader --Loader -- ..." with no blank
    // between the dashes and the repeated name; log readers match them as is.
    bool succeeded = true;
    if (!WriteRecordedString(HKEY_LOCAL_MACHINE, key, "Loader", loaderPath)) {
        WriteStepError("Error -- ", messageName, " registry Loader --", "Loader",
                       " -- HKEY_LOCAL_MACHINE.\n");
        CountFailedWrite();
        succeeded = false;
    }
    if (!WriteRecordedString(HKEY_CURRENT_USER, key, "Loader", loaderPath)) {
        WriteStepError("Error -- ", messageName, " registry Loader --", "Loader",
                       " -- HKEY_CURRENT_USER.\n");
        CountFailedWrite();
        succeeded = false;
    }

    if (!secondAddOn && customData[0] != '\0' &&
        !WriteRecordedString(HKEY_LOCAL_MACHINE, key, "CustomData", customData)) {
        WriteStepError("Error -- Ostrel registry CustomData --", "CustomData",
                       " -- HKEY_LOCAL_MACHINE.\n");
        CountFailedWrite();
        succeeded = false;
    }
    return succeeded;
}
