// The main add-on's default user settings, under HKEY_CURRENT_USER.
#include "log/log.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

struct Setting {
    const char *name;
    DWORD value;
};

const Setting kDefaultSettings[] = {
    {"AuditAlert", 1},     {"BadPlotAlert", 1}, {"FreezeLayer", 1},
    {"KxWarmNoCreate", 1}, {"Reshape", 1},      {"ShowAssistant", 1},
    {"ShowNewDlg", 1},     {"Splash", 1},       {"ShowOnce", 0},
};

constexpr char kSettingsKeySuffix[] = "\\Ostrel\\Settings01";
static_assert(TextLength(kVendorKeyPrefix) + kReleaseNumberSize + TextLength(kSettingsKeySuffix) <
                  kPathBufferSize,
              "the settings key fits its buffer");

} // namespace

bool WriteDefaultSettings(const char *releaseNumber) {
    char key[kPathBufferSize];
    JoinText(key, kVendorKeyPrefix, releaseNumber, kSettingsKeySuffix);

    bool succeeded = true;
    for (const Setting &setting : kDefaultSettings) {
        if (!WriteRecordedDword(HKEY_CURRENT_USER, key, setting.name, setting.value)) {
            WriteStepError("Error -- Ostrel registry -- ", setting.name,
                           " -- HKEY_CURRENT_USER.\n");
            CountFailedWrite();
            succeeded = false;
        }
    }
    return succeeded;
}
