#include "common/display_text.h"

#include <cstdint>

namespace {

void appendHexByte(std::string& out, unsigned char byte) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

// Length of the valid UTF-8 sequence at text[i], with its code point; 0 when invalid.
size_t utf8Sequence(std::string_view text, size_t i, uint32_t& codePoint) {
    const unsigned char lead = (unsigned char)text[i];
    size_t length;
    uint32_t minimum;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = (unsigned char)text[i + k];
        if ((next & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (next & 0x3f);
    }
    // Overlong forms, UTF-16 surrogates and code points past Unicode's end.
    if (codePoint < minimum || (codePoint >= 0xd800 && codePoint <= 0xdfff) || codePoint > 0x10ffff) return 0;
    return length;
}

// Characters that reorder the text shown around them without being seen.
bool isBidiControl(uint32_t c) {
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e || c == 0x200f ||
           c == 0x061c;
}

}  // namespace

std::string displayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7f) {
            out += char(c);
            ++i;
        } else if (c < 0x80) {
            appendHexByte(out, c);
            ++i;
        } else {
            uint32_t codePoint = 0;
            const size_t length = utf8Sequence(text, i, codePoint);
            if (length == 0) {
                appendHexByte(out, c);
                ++i;
            } else if (codePoint < 0xa0) {
                // C1 controls: some terminals act on them as on ESC sequences.
                for (size_t k = 0; k < length; ++k) appendHexByte(out, (unsigned char)text[i + k]);
                i += length;
            } else if (isBidiControl(codePoint)) {
                static const char digits[] = "0123456789abcdef";
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4) out += digits[(codePoint >> shift) & 15];
                i += length;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
        }
    }
    return out;
}

std::string displayExcerpt(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return displayText(text);
    size_t cut = maxBytes;
    // Back off over continuation bytes so a character is not split in two.
    for (size_t k = 0; k < 3 && cut > 0 && ((unsigned char)text[cut] & 0xc0) == 0x80; ++k) --cut;
    return displayText(text.substr(0, cut)) + "...";
}

std::string runCount(size_t runs) { return std::to_string(runs) + (runs == 1 ? " run" : " runs"); }
