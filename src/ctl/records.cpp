// The records of TEMPTXT.log, read back for /UNINSTALL: whole records only,
// so a run that was killed midway leaves no half record to act on. The file
// is read as bytes: in text mode Windows' C library would end it at the
// first byte 0x1A, which a recorded value may hold, and lose every record
// after it.
#include <errno.h>
#include <string.h>

#include "ctl/uninstall_parts.h"

namespace {

// The texts are filled line by line; stage says which of them hold the
// record begun.
struct PendingRecord {
    int stage; // the next line expected: 1 value, 2 name, 3 type or root, 4 root
    bool isNumber;
    char key[kPathBufferSize];
    char value[kPathBufferSize];
    char name[kPathBufferSize];
};

// True when line starts with label; the text after it goes into field,
// which must hold it whole.
bool TakeField(const char *line, const char *label, char *field) {
    size_t labelLength = strlen(label);
    if (strncmp(line, label, labelLength) != 0)
        return false;
    size_t length = strlen(line + labelLength);
    if (length >= kPathBufferSize)
        return false;
    memcpy(field, line + labelLength, length + 1);
    return true;
}

Record *NewRecord(const PendingRecord &pending, HKEY root) {
    size_t lengths[] = {strlen(pending.key) + 1, strlen(pending.value) + 1,
                        strlen(pending.name) + 1};
    char *block = static_cast<char *>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(Record) + lengths[0] + lengths[1] + lengths[2]));
    if (block == nullptr)
        return nullptr;
    Record *record = reinterpret_cast<Record *>(block);
    char *text = block + sizeof(Record);
    memcpy(text, pending.key, lengths[0]);
    memcpy(text + lengths[0], pending.value, lengths[1]);
    memcpy(text + lengths[0] + lengths[1], pending.name, lengths[2]);
    *record = Record{
        nullptr, root, pending.isNumber, text, text + lengths[0], text + lengths[0] + lengths[1]};
    return record;
}

// Reads one line without its line end; false at the end of the file. A line
// too long for the buffer is read to its end and comes back empty, which no
// record line is.
bool ReadLine(FILE *file, char *line) {
    if (fgets(line, kRecordLineBufferSize, file) == nullptr)
        return false;
    size_t length = strlen(line);
    bool whole = length > 0 && line[length - 1] == '\n';
    if (!whole && !feof(file)) {
        char rest[kRecordLineBufferSize];
        while (fgets(rest, sizeof rest, file) != nullptr && strchr(rest, '\n') == nullptr) {
        }
        line[0] = '\0';
        return true;
    }
    if (length > 0 && line[length - 1] == '\n')
        line[--length] = '\0';
    if (length > 0 && line[length - 1] == '\r')
        line[--length] = '\0';
    return true;
}

} // namespace

RecordsRead ReadRecords(const char *path, Record **newest, int *count) {
    *newest = nullptr;
    *count = 0;
    FILE *file = OpenDosStream(path, "rb");
    if (file == nullptr)
        return errno == ENOENT ? RecordsRead::NoFile : RecordsRead::Unreadable;

    RecordsRead result = RecordsRead::Read;
    PendingRecord pending;
    pending.stage = 0;
    char line[kRecordLineBufferSize];
    while (result == RecordsRead::Read && ReadLine(file, line)) {
        int stage = pending.stage;
        pending.stage = 0; // any line out of place drops the record begun
        if (TakeField(line, "RegDB Key: ", pending.key)) {
            pending.stage = 1;
            pending.isNumber = false;
        } else if (stage == 1 && TakeField(line, "RegDB Val: ", pending.value)) {
            pending.stage = 2;
        } else if (stage == 2 && TakeField(line, "RegDB Name: ", pending.name)) {
            pending.stage = 3;
        } else if (stage == 3 && strcmp(line, "RegDB Type: 3") == 0) {
            pending.isNumber = true;
            pending.stage = 4;
        } else if ((stage == 3 || stage == 4) &&
                   (strcmp(line, "RegDB Root: 1") == 0 || strcmp(line, "RegDB Root: 2") == 0)) {
            HKEY root = line[12] == '1' ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            Record *record = NewRecord(pending, root);
            if (record == nullptr) {
                result = RecordsRead::OutOfMemory;
                break;
            }
            record->older = *newest;
            *newest = record;
            ++*count;
        }
    }
    // A file that could not be read to its end may hold records not read.
    if (result == RecordsRead::Read && ferror(file))
        result = RecordsRead::Unreadable;
    fclose(file);
    return result;
}

void FreeRecords(Record *&newest) {
    while (newest != nullptr) {
        Record *older = newest->older;
        HeapFree(GetProcessHeap(), 0, newest);
        newest = older;
    }
}
