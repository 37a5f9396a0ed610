// Code page 1252, the program's system code page: DOS-side names are cp1252
// bytes, Unix names UTF-8.
#include "platform/posix/dos_path.h"

#include <string.h>

namespace {

const uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

uint32_t Cp1252ToUnicode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

bool UnicodeToCp1252(uint32_t codePoint, unsigned char *byte) {
    *byte = static_cast<unsigned char>(codePoint);
    for (int i = 0; i < 32; i++)
        if (kHighControls[i] == codePoint)
            *byte = static_cast<unsigned char>(0x80 + i);
    return Cp1252ToUnicode(*byte) == codePoint;
}

unsigned char Cp1252Upper(unsigned char byte) {
    // Latin-1 letters but the division sign; sharp s and micro sign have no upper case.
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7))
        return static_cast<unsigned char>(byte - 0x20);
    if (byte == 0x9A || byte == 0x9C || byte == 0x9E) // s caron, oe, z caron
        return static_cast<unsigned char>(byte - 0x10);
    return byte == 0xFF ? 0x9F : byte; // y diaeresis
}

size_t DecodeUtf8(const unsigned char *s, uint32_t *codePoint) {
    unsigned char lead = s[0];
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if (length == 0 || (length == 3 && value < 0x800) ||
        (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

bool UnixNameToAnsi(const char *unixName, char *out, size_t outSize, bool *lossy) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(unixName);
    size_t used = 0;
    if (lossy)
        *lossy = false;
    if (outSize == 0)
        return false;
    for (uint32_t codePoint = 0; *s != 0 && used + 1 < outSize;) {
        size_t length = DecodeUtf8(s, &codePoint);
        unsigned char byte = *s; // invalid UTF-8 stays as it is
        if (length > 0 && !UnicodeToCp1252(codePoint, &byte)) {
            byte = '?';
            if (lossy)
                *lossy = true;
        }
        out[used++] = static_cast<char>(byte);
        s += length ? length : 1;
    }
    out[*s == 0 ? used : 0] = 0;
    return *s == 0;
}

bool AnsiNameToUnix(const char *ansi, size_t length, char *out, size_t outSize) {
    size_t used = 0;
    if (outSize > 0)
        out[0] = 0;
    for (size_t i = 0; i < length; i++) {
        uint32_t c = Cp1252ToUnicode(static_cast<unsigned char>(ansi[i]));
        size_t n = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        char e[3] = {static_cast<char>(n == 1   ? c
                                       : n == 2 ? 0xC0 | (c >> 6)
                                                : 0xE0 | (c >> 12)),
                     static_cast<char>(0x80 | ((n == 2 ? c : c >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (c & 0x3F))};
        if (!AppendBytes(out, outSize, &used, e, n)) {
            out[0] = 0;
            return false;
        }
    }
    return outSize > 0;
}

bool Utf16LeToCp1252(const void *bytes, size_t units, std::string *out, uint32_t *bad) {
    const unsigned char *data = static_cast<const unsigned char *>(bytes);
    for (size_t i = 0; i < units; i++) {
        uint32_t unit = data[2 * i] | (data[2 * i + 1] << 8);
        unsigned char byte = '?';
        if (!UnicodeToCp1252(unit, &byte) && bad) { // a NUL stays: the reader reads past it
            *bad = unit;
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = data[2 * i + 2] | (data[2 * i + 3] << 8);
            i += next >= 0xDC00 && next <= 0xDFFF; // one character, one '?'
        }
        out->push_back(static_cast<char>(byte));
    }
    return true;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    if (CodePage != CP_ACP || dwFlags != WC_NO_BEST_FIT_CHARS || lpDefaultChar || !lpWideCharStr ||
        cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0)
        return 0;
    size_t units = static_cast<size_t>(cchWideChar);
    if (cchWideChar == -1)
        for (units = 1; lpWideCharStr[units - 1] != 0; units++) {
        }
    int used = 0;
    bool defaulted = false;
    for (size_t i = 0; i < units; i++, used++) {
        uint32_t unit = lpWideCharStr[i];
        unsigned char byte = '?';
        bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units &&
                    lpWideCharStr[i + 1] >= 0xDC00 && lpWideCharStr[i + 1] <= 0xDFFF;
        i += pair; // one character, one default character
        if (pair || !UnicodeToCp1252(unit, &byte))
            defaulted = true, byte = '?';
        if (cbMultiByte != 0 && used >= cbMultiByte)
            return 0; // ERROR_INSUFFICIENT_BUFFER
        if (cbMultiByte != 0)
            lpMultiByteStr[used] = static_cast<char>(byte);
    }
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = defaulted;
    return used;
}
