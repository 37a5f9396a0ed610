// Private to the loading of the simulation's registry file (registry_load.cpp,
// registry_values.cpp): the parser's state and the pieces both use.
#pragma once

#include "platform/posix/registry_store.h"

namespace standin {

struct Parser {
    Tree tree;
    bool version5 = false; // string data of hex(1), hex(2), hex(7) is UTF-16LE
    int line = 0;
    std::string error;
    Key *key = nullptr; // key of the values that follow
    // A hex value continued on the next line.
    bool continued = false;
    std::string valueName;
    DWORD valueType = 0;
    std::vector<BYTE> valueData;
};

// Records "line N: reason" as the parser's error; always false.
bool Fail(Parser &p, const char *format, ...) __attribute__((format(printf, 2, 3)));
const char *SkipBlanks(const char *s);
// The end of a line may hold blanks and a ';' comment, nothing else.
bool OnlyCommentLeft(const char *s);
// The value of a hex digit, -1 for any other character.
int HexDigit(char c);
// Stores the value the parser has gathered (a hex list may take several lines).
bool FinishValue(Parser &p);
// Reads a value line ("name"=data or @=data) into the current key.
bool ReadValue(Parser &p, const char *s);
// Appends the bytes of a "xx,xx,..." list; a final backslash continues the
// list on the next line.
bool ReadHexList(Parser &p, const char *s);

} // namespace standin
