// Code page 1252, the system code page the program works in: the names on the
// DOS side of the stand-in are cp1252 bytes, the Unix names UTF-8.
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
    if (byte >= 0x80 && byte < 0xA0)
        return kHighControls[byte - 0x80];
    return byte;
}

bool UnicodeToCp1252(uint32_t codePoint, unsigned char *byte) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        *byte = static_cast<unsigned char>(codePoint);
        return true;
    }
    for (int i = 0; i < 32; i++) {
        if (kHighControls[i] == codePoint) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

unsigned char Cp1252Upper(unsigned char byte) {
    if (byte >= 'a' && byte <= 'z')
        return static_cast<unsigned char>(byte - 0x20);
    // Latin-1 letters, but not the division sign; sharp s and micro sign
    // have no upper case in cp1252.
    if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7)
        return static_cast<unsigned char>(byte - 0x20);
    switch (byte) {
    case 0x9A: // s caron
    case 0x9C: // oe
    case 0x9E: // z caron
        return static_cast<unsigned char>(byte - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    default:
        return byte;
    }
}

bool Cp1252EqualNoCase(const char *a, size_t aLength, const char *b, size_t bLength) {
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; i++) {
        if (Cp1252Upper(static_cast<unsigned char>(a[i])) !=
            Cp1252Upper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

size_t DecodeUtf8(const unsigned char *s, uint32_t *codePoint) {
    unsigned char lead = s[0];
    size_t length;
    uint32_t value;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (s[i] & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

bool UnixNameToAnsi(const char *unixName, char *out, size_t outSize, bool *lossy) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(unixName);
    size_t used = 0;
    if (lossy != nullptr)
        *lossy = false;
    if (outSize == 0)
        return false;
    while (*s != 0) {
        uint32_t codePoint = 0;
        size_t length = DecodeUtf8(s, &codePoint);
        unsigned char byte;
        if (length == 0) {
            byte = *s;
            length = 1;
        } else if (!UnicodeToCp1252(codePoint, &byte)) {
            byte = '?';
            if (lossy != nullptr)
                *lossy = true;
        }
        if (used + 1 >= outSize) {
            out[0] = 0;
            return false;
        }
        out[used++] = static_cast<char>(byte);
        s += length;
    }
    out[used] = 0;
    return true;
}

bool AnsiNameToUnix(const char *ansi, size_t length, char *out, size_t outSize) {
    size_t used = 0;
    if (outSize == 0)
        return false;
    for (size_t i = 0; i < length; i++) {
        uint32_t codePoint = Cp1252ToUnicode(static_cast<unsigned char>(ansi[i]));
        char encoded[3];
        size_t encodedLength;
        if (codePoint < 0x80) {
            encoded[0] = static_cast<char>(codePoint);
            encodedLength = 1;
        } else if (codePoint < 0x800) {
            encoded[0] = static_cast<char>(0xC0 | (codePoint >> 6));
            encoded[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
            encodedLength = 2;
        } else {
            encoded[0] = static_cast<char>(0xE0 | (codePoint >> 12));
            encoded[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            encoded[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
            encodedLength = 3;
        }
        if (used + encodedLength >= outSize) {
            out[0] = 0;
            return false;
        }
        memcpy(out + used, encoded, encodedLength);
        used += encodedLength;
    }
    out[used] = 0;
    return true;
}

size_t Utf16LeToCp1252(const unsigned char *data, size_t units, char *out) {
    size_t used = 0;
    for (size_t i = 0; i < units; i++) {
        uint32_t unit =
            static_cast<uint32_t>(data[2 * i]) | (static_cast<uint32_t>(data[2 * i + 1]) << 8);
        unsigned char byte;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = static_cast<uint32_t>(data[2 * i + 2]) |
                            (static_cast<uint32_t>(data[2 * i + 3]) << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                i++; // one character, one '?'
            }
            byte = '?';
        } else if (unit == 0) {
            byte = 0; // the reader reads past it, as in an ANSI file
        } else if (!UnicodeToCp1252(unit, &byte)) {
            byte = '?';
        }
        out[used++] = static_cast<char>(byte);
    }
    out[used] = 0;
    return used;
}
