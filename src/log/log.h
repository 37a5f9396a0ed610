// The two logs: the progress log "RegOST.log" and the registry-script log
// "TEMPTXT.log", their switches and the shared line buffer.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

// The registry-script log's name: the longest of the names the program opens
// in its folder.
constexpr char kScriptLogName[] = "TEMPTXT.log";

// Opens "RegOST.log" in directory, else in the temporary folder, and writes
// the date and time header. When neither opens, progress output stays off.
void OpenProgressLog(const char *directory);
// Opens "TEMPTXT.log" in directory once; silently stays off when it cannot.
void OpenRegistryScriptLog(const char *directory);
// Writes one progress line made of up to five pieces joined as they are.
void WriteProgressLine(const char *a, const char *b = "", const char *c = "", const char *d = "",
                       const char *e = "");
// Records one value that was written: four lines, five for a number. False
// when the registry-script log is open but did not take the whole record (a
// full disk, say); true when it took it, or is off.
bool WriteRegistryScriptRecord(const char *keyPath, const char *valueText, const char *valueName,
                               bool isNumber, HKEY root);
// The end of a line that names a value's root: " -- HKEY_CURRENT_USER.\n"
// or " -- HKEY_LOCAL_MACHINE.\n".
const char *RootSuffix(HKEY root);
// Writes the final message and closes both logs.
void EndLogs(const char *finalMessage);
// From the progress log's opening to EndLogs, its header and lines stay in
// the stream and reach the file together, a buffer of whole lines at a time:
// for a run without the run lock, whose lines would otherwise fall between
// those of the run that holds it. Call it before OpenProgressLog.
void HoldProgressLines();

// The header's date "MM/DD/YY" and time "HH:MM:SS" (kHeaderTextSize bytes each).
void FormatHeaderTexts(const SYSTEMTIME *time, char *date, char *clock);
// Forgets the log state (closing nothing), so tests can run again.
void ResetLogStateForTests();
