#include "steps/step_writes.h"

#include <string.h>

#include "driver/driver.h"

#include "log/log.h"
#include "registry/registry.h"

bool ComposeKeyPath(char *out, const char *a, const char *b, const char *c) {
    size_t lengths[] = {strlen(a), strlen(b), strlen(c)};
    if (lengths[0] + lengths[1] + lengths[2] >= kPathBufferSize) {
        out[0] = '\0';
        return false;
    }
    memcpy(out, a, lengths[0]);
    memcpy(out + lengths[0], b, lengths[1]);
    memcpy(out + lengths[0] + lengths[1], c, lengths[2] + 1);
    return true;
}

bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text) {
    if (!WriteStringValue(root, keyPath, valueName, text))
        return false;
    WriteRegistryScriptRecord(keyPath, text, valueName, false, root);
    return true;
}

bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number) {
    if (!WriteDwordValue(root, keyPath, valueName, number))
        return false;
    // The record states the number that was written, in decimal.
    char text[11];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    WriteRegistryScriptRecord(keyPath, text, valueName, true, root);
    return true;
}
