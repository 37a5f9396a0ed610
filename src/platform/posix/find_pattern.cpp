// FindFirstFileA's patterns, translated as Windows' kernel32 does before
// the file system sees them: "*.*" is "*", '?' matches one character but may
// match none before a dot or at the end, '*' before a dot stops at the last
// dot, a dot before a wildcard or at the end also matches the end of the
// name. A pattern ending in a dot keeps that dot though the path loses it,
// so "*." names the entries without an extension.
#include "platform/posix/dos_path.h"

#include <stdlib.h>
#include <string.h>

namespace {

const char kDosStar = '<';
const char kDosQm = '>';
const char kDosDot = '"';

struct MatchState {
    const unsigned char *expression;
    size_t expressionLength;
    const unsigned char *name;
    size_t nameLength;
    size_t lastDot; // nameLength when the name has no dot
    signed char *memo;
};

bool MatchFrom(MatchState *state, size_t e, size_t n) {
    signed char *memo = &state->memo[e * (state->nameLength + 1) + n];
    if (*memo >= 0)
        return *memo != 0;
    bool result;
    size_t nameLength = state->nameLength;
    bool atEnd = (n == nameLength);
    unsigned char c = atEnd ? 0 : state->name[n];
    if (e == state->expressionLength) {
        result = atEnd;
    } else {
        switch (state->expression[e]) {
        case '*':
            result = MatchFrom(state, e + 1, n) || (!atEnd && MatchFrom(state, e, n + 1));
            break;
        case kDosStar:
            result = MatchFrom(state, e + 1, n) ||
                     (!atEnd && n != state->lastDot && MatchFrom(state, e, n + 1));
            break;
        case kDosQm:
            result =
                (atEnd || c == '.') ? MatchFrom(state, e + 1, n) : MatchFrom(state, e + 1, n + 1);
            break;
        case kDosDot:
            result =
                atEnd ? MatchFrom(state, e + 1, n) : (c == '.' && MatchFrom(state, e + 1, n + 1));
            break;
        default:
            result = !atEnd && Cp1252Upper(c) == Cp1252Upper(state->expression[e]) &&
                     MatchFrom(state, e + 1, n + 1);
            break;
        }
    }
    *memo = result ? 1 : 0;
    return result;
}

} // namespace

void TranslateFindPattern(const char *name, bool endsInDot, char *out, size_t outSize) {
    char raw[kStandInPathSize];
    size_t length = strlen(name);
    if (length + 2 > sizeof raw || length + 2 > outSize) {
        out[0] = 0;
        return;
    }
    memcpy(raw, name, length);
    if (endsInDot)
        raw[length++] = '.';
    raw[length] = 0;
    if (strcmp(raw, "*.*") == 0) {
        memcpy(out, "*", 2);
        return;
    }
    for (size_t i = 0; i < length; i++) {
        char c = raw[i];
        char next = raw[i + 1];
        if (c == '?') {
            c = kDosQm;
        } else if (c == '*' && next == '.') {
            c = kDosStar;
        } else if (c == '.' && (next == '?' || next == '*' || next == 0)) {
            c = kDosDot;
        }
        out[i] = c;
    }
    out[length] = 0;
}

bool MatchFindPattern(const char *expression, const char *name) {
    MatchState state;
    state.expression = reinterpret_cast<const unsigned char *>(expression);
    state.expressionLength = strlen(expression);
    state.name = reinterpret_cast<const unsigned char *>(name);
    state.nameLength = strlen(name);
    const char *dot = strrchr(name, '.');
    state.lastDot = dot != nullptr ? static_cast<size_t>(dot - name) : state.nameLength;
    size_t cells = (state.expressionLength + 1) * (state.nameLength + 1);
    state.memo = static_cast<signed char *>(malloc(cells));
    if (state.memo == nullptr)
        return false;
    memset(state.memo, -1, cells);
    bool result = MatchFrom(&state, 0, 0);
    free(state.memo);
    return result;
}
