#include "hybrid/HYBBase64.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace hybrid {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kSkip = 0xFF;

constexpr std::array<unsigned char, 256> makeDecodingTable() {
    std::array<unsigned char, 256> table{};
    for (auto& entry : table) entry = kSkip;
    for (unsigned char i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr auto kDecodingTable = makeDecodingTable();

std::size_t decodedCapacity(std::size_t length) { return (length + 3) / 4 * 3; }

// Decodes into `out`, which holds decodedCapacity(length) bytes; returns the count written.
std::size_t decodeInto(const unsigned char* text, std::size_t length, unsigned char* out) {
    std::size_t written = 0;
    unsigned char group[4];
    std::size_t kept = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char value = kDecodingTable[text[i]];
        if (value == kSkip) continue;
        group[kept++] = value;
        if (kept == 4) {
            out[written++] = static_cast<unsigned char>((group[0] << 2) | (group[1] >> 4));
            out[written++] = static_cast<unsigned char>((group[1] << 4) | (group[2] >> 2));
            out[written++] = static_cast<unsigned char>((group[2] << 6) | group[3]);
            kept = 0;
        }
    }
    if (kept >= 2) out[written++] = static_cast<unsigned char>((group[0] << 2) | (group[1] >> 4));
    if (kept == 3) out[written++] = static_cast<unsigned char>((group[1] << 4) | (group[2] >> 2));
    return written;
}

std::size_t encodedLength(std::size_t length) { return (length + 2) / 3 * 4; }

void encodeInto(const unsigned char* in, std::size_t length, char* out) {
    std::size_t o = 0;
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned triple = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
        out[o++] = kAlphabet[(triple >> 18) & 0x3F];
        out[o++] = kAlphabet[(triple >> 12) & 0x3F];
        out[o++] = kAlphabet[(triple >> 6) & 0x3F];
        out[o++] = kAlphabet[triple & 0x3F];
    }
    const std::size_t rest = length - i;
    if (rest == 2) {
        const unsigned pair = (unsigned(in[i]) << 8) | in[i + 1];
        out[o++] = kAlphabet[(pair >> 10) & 0x3F];
        out[o++] = kAlphabet[(pair >> 4) & 0x3F];
        out[o++] = kAlphabet[(pair << 2) & 0x3F];
        out[o++] = '=';
    } else if (rest == 1) {
        out[o++] = kAlphabet[(in[i] >> 2) & 0x3F];
        out[o++] = kAlphabet[(in[i] << 4) & 0x3F];
        out[o++] = '=';
        out[o++] = '=';
    }
}

}  // namespace

unsigned char* HYBBase64DecodeBytes(const char* text, std::size_t length, std::size_t* outLength) {
    if (length == HYBBase64LengthUpToNul) length = text ? std::strlen(text) : 0;
    auto* out = static_cast<unsigned char*>(std::malloc(decodedCapacity(length) + 1));
    if (!out) {
        if (outLength) *outLength = 0;
        return nullptr;
    }
    const std::size_t written = length ? decodeInto(reinterpret_cast<const unsigned char*>(text), length, out) : 0;
    if (outLength) *outLength = written;
    return out;
}

char* HYBBase64EncodeBytes(const void* bytes, std::size_t length, bool, std::size_t* outLength) {
    const std::size_t textLength = encodedLength(length);
    auto* out = static_cast<char*>(std::malloc(textLength + 1));
    if (!out) return nullptr;
    if (length) encodeInto(static_cast<const unsigned char*>(bytes), length, out);
    out[textLength] = '\0';
    if (outLength) *outLength = textLength;
    return out;
}

platform::Data hyb_dataFromBase64String(std::string_view text) {
    platform::Data data(decodedCapacity(text.size()));
    data.resize(decodeInto(reinterpret_cast<const unsigned char*>(text.data()), text.size(), data.data()));
    return data;
}

std::string hyb_base64EncodedString(const platform::Data& data) {
    std::string text(encodedLength(data.size()), '\0');
    encodeInto(data.data(), data.size(), text.data());
    return text;
}

}  // namespace hybrid
