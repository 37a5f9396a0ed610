// The two logs: the progress log "RegOST.log" and the registry-script log
// "TEMPTXT.log", their switches and the shared line buffer.
#pragma once

#include "driver/driver.h"
#include "platform/win32.h"

constexpr int kLineBufferSize = 200; // a composed line: at most 199 characters

struct LogState {
    FILE *progressLog = nullptr;
    bool progressLogOn = true;
    FILE *scriptLog = nullptr;
    bool scriptLogOn = false;
    char line[kLineBufferSize] = "";
};
extern LogState logState;

// Opens "RegOST.log" in directory, else in the temporary folder, and writes
// the date and time header. When neither opens, progress output stays off.
void OpenProgressLog(const char *directory);
// Opens "TEMPTXT.log" in directory once; silently stays off when it cannot.
void OpenRegistryScriptLog(const char *directory);
// Writes one progress line made of up to five pieces joined as they are.
void WriteProgressLine(const char *a, const char *b = "", const char *c = "", const char *d = "",
                       const char *e = "");
// Records one value that was written: four lines, five for a number.
void WriteRegistryScriptRecord(const char *keyPath, const char *valueText, const char *valueName,
                               bool isNumber, HKEY root);
// Writes the final message and closes both logs.
void EndLogs(const char *finalMessage);

// The header's date "MM/DD/YY" and time "HH:MM:SS" (9 bytes each).
void FormatHeaderTexts(const SYSTEMTIME *time, char *date, char *clock);
// Joins directory, a backslash if it has none at its end, and name. False
// when the result would not fit kPathBufferSize bytes.
bool JoinPath(char *out, const char *directory, const char *name);
// Forgets the log state (closing nothing), so tests can run again.
void ResetLogStateForTests();
