// The base64 text form of ciphertexts and public keys.

#include "SecureUtil.h"

#include <array>
#include <cstdint>

namespace SecureUtil {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Built at compile time rather than on first use: no lazy global to fill.
constexpr std::array<int16_t, 256> makeReverseTable()
{
    std::array<int16_t, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int16_t>(i);
    }
    // Peers send text where "+" has turned into a space on its way.
    table[static_cast<unsigned char>(' ')] = 62;
    return table;
}

constexpr std::array<int16_t, 256> kReverse = makeReverseTable();

} // namespace

std::string base64Encode(const unsigned char* bytes, size_t n)
{
    std::string text;
    if (!bytes || n == 0) {
        return text;
    }
    text.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
        text += kAlphabet[(v >> 6) & 63];
        text += kAlphabet[v & 63];
    }
    if (n - i == 2) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8;
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
        text += kAlphabet[(v >> 6) & 63];
        text += '=';
    } else if (n - i == 1) {
        const uint32_t v = uint32_t(bytes[i]) << 16;
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
        text += "==";
    }
    return text;
}

std::optional<std::vector<unsigned char>> base64Decode(const std::string& text)
{
    std::vector<unsigned char> bytes;
    // Sized from the text itself: at most three bytes for every four characters read.
    bytes.reserve(text.size() / 4 * 3 + 3);
    size_t accepted = 0;
    unsigned held = 0; // bits of the character before, not yet written
    bool stoppedAtPad = false;
    for (const char ch : text) {
        if (ch == '\0') {
            break;
        }
        if (ch == '=') {
            stoppedAtPad = true;
            break;
        }
        const int v = kReverse[static_cast<unsigned char>(ch)];
        if (v < 0) {
            continue;
        }
        switch (accepted++ % 4) {
        case 0:
            break;
        case 1:
            bytes.push_back(static_cast<unsigned char>(held << 2 | unsigned(v) >> 4));
            break;
        case 2:
            bytes.push_back(static_cast<unsigned char>((held & 0x0f) << 4 | unsigned(v) >> 2));
            break;
        default:
            bytes.push_back(static_cast<unsigned char>((held & 0x03) << 6 | unsigned(v)));
            break;
        }
        held = unsigned(v);
    }
    // A pad after a whole group, or after a lone character, cannot end valid base64.
    if (stoppedAtPad && accepted % 4 <= 1) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace SecureUtil
