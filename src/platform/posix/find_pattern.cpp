// FindFirstFileA's patterns, translated as kernel32 does before the file
// system sees them: "*.*" is "*"; '?' matches one character, or none before a
// dot or at the end; '*' before a dot stops at the last dot; a dot before a
// wildcard or at the end also matches the end of the name. A pattern ending
// in a dot keeps it though the path loses it: "*." names entries without an
// extension.
#include "platform/posix/dos_path.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

const char kDosStar = '<', kDosQm = '>', kDosDot = '"';

struct Matcher {
    const char *expression, *name;
    size_t expressionLength, nameLength, lastDot; // lastDot: nameLength without a dot
    std::vector<signed char> memo;                // -1: not known yet

    bool From(size_t e, size_t n) {
        signed char &known = memo[e * (nameLength + 1) + n];
        if (known < 0)
            known = Step(e, n) ? 1 : 0;
        return known != 0;
    }
    bool Step(size_t e, size_t n) {
        bool atEnd = n == nameLength;
        unsigned char c = atEnd ? 0 : static_cast<unsigned char>(name[n]);
        if (e == expressionLength)
            return atEnd;
        switch (expression[e]) {
        case '*':
            return From(e + 1, n) || (!atEnd && From(e, n + 1));
        case kDosStar:
            return From(e + 1, n) || (!atEnd && n != lastDot && From(e, n + 1));
        case kDosQm:
            return From(e + 1, atEnd || c == '.' ? n : n + 1);
        case kDosDot:
            return atEnd ? From(e + 1, n) : c == '.' && From(e + 1, n + 1);
        default:
            return !atEnd &&
                   Cp1252Upper(c) == Cp1252Upper(static_cast<unsigned char>(expression[e])) &&
                   From(e + 1, n + 1);
        }
    }
};

} // namespace

void TranslateFindPattern(const char *name, bool endsInDot, char *out, size_t outSize) {
    std::string raw = std::string(name) + (endsInDot ? "." : "");
    if (raw.size() + 1 > outSize) {
        out[0] = 0;
        return;
    }
    if (raw == "*.*")
        raw = "*";
    for (size_t i = 0; i < raw.size(); i++) {
        char c = raw[i], next = raw[i + 1];
        out[i] = c == '?'                                                ? kDosQm
                 : c == '*' && next == '.'                               ? kDosStar
                 : c == '.' && (next == '?' || next == '*' || next == 0) ? kDosDot
                                                                         : c;
    }
    out[raw.size()] = 0;
}

bool MatchFindPattern(const char *expression, const char *name) {
    const char *dot = strrchr(name, '.');
    Matcher m{expression, name, strlen(expression), strlen(name), 0, {}};
    m.lastDot = dot ? static_cast<size_t>(dot - name) : m.nameLength;
    m.memo.assign((m.expressionLength + 1) * (m.nameLength + 1), -1);
    return m.From(0, 0);
}
