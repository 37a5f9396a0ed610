// The progress log and the registry-script log.
//
// Every line is composed in the shared line buffer and written with one
// write call. A line too long for the buffer (a long loader path, say) is
// written piece by piece instead: the stream buffers it, so it still reaches
// the file whole and nothing is ever cut.
//
// Each progress line and each whole record is flushed as soon as it is
// written: a run that is killed, or a disk that fills up, still leaves the
// header and every line and record written so far, and never half a record.
// Only a run without the run lock holds its progress lines, to keep them
// together; it still never leaves half a line.
#include "log/log.h"

#include <string.h>

namespace {

struct LogState {
    FILE *progressLog = nullptr;
    bool progressLogOff = false; // all zero: the state takes no room in the exe
    FILE *scriptLog = nullptr;
    bool scriptLogOn = false;
    bool holding = false; // see HoldProgressLines
    size_t held = 0;      // bytes in the progress log's stream since its last flush
    char line[kLineBufferSize] = "";
    char heldLines[kHeldLinesBufferSize] = "";
};
LogState logState;

// False when the stream did not take the whole line.
bool WriteLine(FILE *stream, const char *const *pieces, int count) {
    if (stream == nullptr)
        return false;
    size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += strlen(pieces[i]);

    if (total < sizeof logState.line) {
        char *end = logState.line;
        for (int i = 0; i < count; ++i) {
            size_t length = strlen(pieces[i]);
            memcpy(end, pieces[i], length);
            end += length;
        }
        *end = '\0';
        return fwrite(logState.line, 1, total, stream) == total;
    }
    bool whole = true;
    for (int i = 0; i < count; ++i) {
        size_t length = strlen(pieces[i]);
        whole &= fwrite(pieces[i], 1, length, stream) == length;
    }
    return whole;
}

// Writes a progress line and puts it on disk at once; while lines are held,
// it joins them in the stream, which is flushed first where the line would
// not fit beside them, so that the library never cuts a line to make room.
void WriteProgress(const char *const *pieces, int count) {
    size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += strlen(pieces[i]);
    if (logState.holding && logState.held + total >= sizeof logState.heldLines) {
        fflush(logState.progressLog);
        logState.held = 0;
    }
    WriteLine(logState.progressLog, pieces, count);
    logState.held += total;
    if (!logState.holding)
        fflush(logState.progressLog);
}

bool WriteScriptLine(const char *prefix, const char *text) {
    const char *pieces[] = {prefix, text, "\n"};
    return WriteLine(logState.scriptLog, pieces, 3);
}

// A path too long for its buffer counts as a log that cannot be opened, and
// an unknown (empty) folder is never taken for the current one.
FILE *OpenLogIn(const char *directory, const char *name) {
    char path[kPathBufferSize];
    if (directory[0] == '\0' || !JoinText(path, directory, SeparatorAfter(directory), name))
        return nullptr;
    return OpenDosStream(path, "a");
}

} // namespace

void FormatHeaderTexts(const SYSTEMTIME *time, char *date, char *clock) {
    snprintf(date, kHeaderTextSize, "%02u/%02u/%02u", time->wMonth % 100u, time->wDay % 100u,
             time->wYear % 100u);
    snprintf(clock, kHeaderTextSize, "%02u:%02u:%02u", time->wHour % 100u, time->wMinute % 100u,
             time->wSecond % 100u);
}

void OpenProgressLog(const char *directory) {
    logState.progressLog = OpenLogIn(directory, "RegOST.log");
    if (logState.progressLog == nullptr) {
        char temporary[kPathBufferSize];
        DWORD length = GetTempPathA(sizeof temporary, temporary);
        // A result as large as the buffer means it did not fit and was not written.
        if (length != 0 && length < sizeof temporary)
            logState.progressLog = OpenLogIn(temporary, "RegOST.log");
    }
    if (logState.progressLog == nullptr) {
        logState.progressLogOff = true;
        return;
    }
    if (logState.holding)
        setvbuf(logState.progressLog, logState.heldLines, _IOFBF, sizeof logState.heldLines);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[kHeaderTextSize];
    char clock[kHeaderTextSize];
    FormatHeaderTexts(&now, date, clock);
    const char *header[] = {date, " -- ", clock, " \n\n"};
    WriteProgress(header, 4);
}

void OpenRegistryScriptLog(const char *directory) {
    if (logState.scriptLog != nullptr)
        return;
    logState.scriptLog = OpenLogIn(directory, kScriptLogName);
    if (logState.scriptLog != nullptr)
        logState.scriptLogOn = true;
}

void WriteProgressLine(const char *a, const char *b, const char *c, const char *d, const char *e) {
    if (logState.progressLogOff || logState.progressLog == nullptr)
        return;
    const char *pieces[] = {a, b, c, d, e};
    WriteProgress(pieces, 5);
}

bool WriteRegistryScriptRecord(const char *keyPath, const char *valueText, const char *valueName,
                               bool isNumber, HKEY root) {
    if (!logState.scriptLogOn || logState.scriptLog == nullptr)
        return true;
    bool whole = WriteScriptLine("RegDB Key: ", keyPath);
    whole &= WriteScriptLine("RegDB Val: ", valueText);
    whole &= WriteScriptLine("RegDB Name: ", valueName);
    if (isNumber)
        whole &= WriteScriptLine("RegDB Type: ", "3");
    whole &= WriteScriptLine("RegDB Root: ", root == HKEY_CURRENT_USER ? "1" : "2");
    // Only a flush that the file took puts the record on disk whole.
    return fflush(logState.scriptLog) == 0 && whole && ferror(logState.scriptLog) == 0;
}

const char *RootSuffix(HKEY root) {
    return root == HKEY_CURRENT_USER ? " -- HKEY_CURRENT_USER.\n" : " -- HKEY_LOCAL_MACHINE.\n";
}

void EndLogs(const char *finalMessage) {
    if (!logState.progressLogOff && logState.progressLog != nullptr) {
        WriteProgressLine(finalMessage);
        fclose(logState.progressLog);
        logState.progressLog = nullptr;
    }
    if (logState.scriptLogOn && logState.scriptLog != nullptr) {
        fclose(logState.scriptLog);
        logState.scriptLog = nullptr;
    }
}

void HoldProgressLines() {
    logState.holding = true;
}

void ResetLogStateForTests() {
    // Every member starts as zero: cleared in place, where assigning a fresh
    // state would store a copy of its 4 KiB of zeros in the exe.
    memset(static_cast<void *>(&logState), 0, sizeof logState);
}
