#pragma once

#include <cstddef>
#include <cstdint>

// What the crash reports share: one log line built in a fixed buffer, and its fatal text.
namespace CrashReportLine {


// One log line in a fixed buffer: what a crash handler uses instead of strings and printf, which
// may allocate or lock. Text that does not fit is cut, never overrun.
class FixedLine
{
public:
    void append(const char* text)
    {
        while (*text && length < sizeof buffer - 1) {
            buffer[length++] = *text++;
        }
    }

    void appendDecimal(std::uint32_t value, int width)
    {
        char digits[10];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 10);
        for (int i = count; i < width; ++i) {
            append("0");
        }
        while (count > 0) {
            const char digit[2] = {digits[--count], '\0'};
            append(digit);
        }
    }

    void appendHex(std::uint32_t value)
    {
        append("0x");
        for (int shift = 28; shift >= 0; shift -= 4) {
            const char digit[2] = {"0123456789ABCDEF"[(value >> shift) & 0xF], '\0'};
            append(digit);
        }
    }

    // "yyyy-MM-dd hh:mm:ss.zzz", as the log handler stamps its lines.
    void appendStamp(std::uint32_t year, std::uint32_t month, std::uint32_t day, std::uint32_t hour,
                     std::uint32_t minute, std::uint32_t second, std::uint32_t millisecond)
    {
        appendDecimal(year, 4);
        append("-");
        appendDecimal(month, 2);
        append("-");
        appendDecimal(day, 2);
        append(" ");
        appendDecimal(hour, 2);
        append(":");
        appendDecimal(minute, 2);
        append(":");
        appendDecimal(second, 2);
        append(".");
        appendDecimal(millisecond, 3);
    }

    const char* data() const { return buffer; }
    std::size_t size() const { return length; }

private:
    char buffer[512] = {};
    std::size_t length = 0;
};

// A fatal line as the log handler writes one for a message with an empty context.
constexpr char kCrashed[] = " [FATAL] [@0] Crashed";

} // namespace CrashReportLine
