// The main add-on's default user settings, under HKEY_CURRENT_USER.
#include "log/log.h"
#include "steps/key_paths.h"
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

bool WriteDefaultSettings(StepWrites &writes, const ReleaseInput &release, bool) {
    char key[kPathBufferSize];
    JoinText(key, kVendorKeyPrefix, release.number, kSettingsKeySuffix);

    bool succeeded = true;
    for (const Setting &setting : kDefaultSettings) {
        if (!WriteStepDword(writes, HKEY_CURRENT_USER, key, setting.name, setting.value)) {
            WriteStepError(writes, "Error -- Ostrel registry -- ", setting.name,
                           " -- HKEY_CURRENT_USER.\n");
            CountFailedWrite(writes);
            succeeded = false;
        }
    }
    return succeeded;
}
