// The main add-on's default user settings, under HKEY_CURRENT_USER.
#include "driver/driver.h"
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

} // namespace

bool WriteDefaultSettings(const char *releaseNumber) {
    char key[kPathBufferSize];
    ComposeKeyPath(key, "Software\\Quenlar\\AutoCAD\\", releaseNumber, "\\Ostrel\\Settings01");

    bool succeeded = true;
    for (const Setting &setting : kDefaultSettings) {
        if (!WriteRecordedDword(HKEY_CURRENT_USER, key, setting.name, setting.value)) {
            WriteProgressLine("Error -- Ostrel registry -- ", setting.name,
                              " -- HKEY_CURRENT_USER.\n");
            succeeded = false;
        }
    }
    return succeeded;
}
