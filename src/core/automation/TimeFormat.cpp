#include "automation/TimeFormat.h"

#include <array>
#include <cstdlib>
#include <vector>

namespace {

using namespace std::chrono;

constexpr std::array<std::string_view, 7> kDayNames = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr size_t kShortNameLength = 3;
constexpr int kHoursPerHalfDay = 12;
constexpr char kQuote = '\'';

// One piece of a format: a field such as "dd" or "AP", or text written as it stands.
struct FormatPiece {
    char letter = 0;  // 0 for text
    int count = 0;
    std::string text;
};

// The longest form of a field letter no longer than `run`, or 0 when a run that long is no field.
int FieldLength(char letter, int run) {
    switch (letter) {
        case 'd':
        case 'M':
            return std::min(run, 4);
        case 'y':
            return run >= 4 ? 4 : (run >= 2 ? 2 : 0);
        case 'H':
        case 'h':
        case 'm':
        case 's':
            return std::min(run, 2);
        default:
            return 0;
    }
}

bool IsAmPmAt(std::string_view format, size_t pos) {
    const std::string_view pair = format.substr(pos, 2);
    return pair == "AP" || pair == "ap";
}

void AppendText(std::vector<FormatPiece>& pieces, std::string_view text) {
    if (pieces.empty() || pieces.back().letter != 0) {
        pieces.emplace_back();
    }
    pieces.back().text += text;
}

// Reads "''" or quoted text from the quote at `pos`; "''" inside it is one quote too. Returns
// where the format goes on.
size_t AppendQuoted(std::vector<FormatPiece>& pieces, std::string_view format, size_t pos) {
    if (format.substr(pos, 2) == "''") {
        AppendText(pieces, "'");
        return pos + 2;
    }
    ++pos;
    while (pos < format.size()) {
        const size_t quote = std::min(format.find(kQuote, pos), format.size());
        AppendText(pieces, format.substr(pos, quote - pos));
        if (format.substr(quote, 2) != "''") {
            return std::min(quote + 1, format.size());
        }
        AppendText(pieces, "'");
        pos = quote + 2;
    }
    return pos;
}

std::vector<FormatPiece> SplitFormat(std::string_view format) {
    std::vector<FormatPiece> pieces;
    size_t pos = 0;
    while (pos < format.size()) {
        const char c = format[pos];
        if (c == kQuote) {
            pos = AppendQuoted(pieces, format, pos);
            continue;
        }
        if (IsAmPmAt(format, pos)) {
            pieces.push_back({c, 2, {}});
            pos += 2;
            continue;
        }
        int run = 1;
        while (pos + run < format.size() && format[pos + run] == c) {
            ++run;
        }
        while (run > 0) {
            const int length = FieldLength(c, run);
            if (length == 0) {
                AppendText(pieces, format.substr(pos, run));
                pos += run;
                break;
            }
            pieces.push_back({c, length, {}});
            pos += length;
            run -= length;
        }
    }
    return pieces;
}

std::string Padded(long long value, int width) {
    std::string digits = std::to_string(std::llabs(value));
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

std::string Name(std::string_view name, int count) {
    return std::string(count == 3 ? name.substr(0, kShortNameLength) : name);
}

struct TimeFields {
    int year;
    int month;    // 1 to 12
    int day;      // 1 to 31
    int weekday;  // 0 Monday to 6 Sunday
    int hour;
    int minute;
    int second;
};

TimeFields SplitTime(LocalTime time) {
    const local_days date = floor<days>(time);
    const year_month_day ymd{date};
    const hh_mm_ss clock{time - date};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(weekday{date}.iso_encoding()) - 1,
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

std::string FormatField(const FormatPiece& piece, const TimeFields& t, bool twelveHour) {
    const int count = piece.count;
    switch (piece.letter) {
        case 'd':
            return count <= 2 ? Padded(t.day, count) : Name(kDayNames[t.weekday], count);
        case 'M':
            return count <= 2 ? Padded(t.month, count) : Name(kMonthNames[t.month - 1], count);
        case 'y':
            return count == 4 ? Padded(t.year, 4) : Padded((t.year % 100 + 100) % 100, 2);
        case 'H':
            return Padded(t.hour, count);
        case 'h': {
            const int hour =
                twelveHour ? (t.hour + kHoursPerHalfDay - 1) % kHoursPerHalfDay + 1 : t.hour;
            return Padded(hour, count);
        }
        case 'm':
            return Padded(t.minute, count);
        case 's':
            return Padded(t.second, count);
        case 'A':
            return t.hour < kHoursPerHalfDay ? "AM" : "PM";
        case 'a':
            return t.hour < kHoursPerHalfDay ? "am" : "pm";
        default:
            return piece.text;
    }
}

}  // namespace

std::string FormatLocalTime(std::string_view format, LocalTime time) {
    const std::vector<FormatPiece> pieces = SplitFormat(format);
    bool twelveHour = false;
    for (const FormatPiece& piece : pieces) {
        twelveHour = twelveHour || piece.letter == 'A' || piece.letter == 'a';
    }
    const TimeFields fields = SplitTime(time);
    std::string text;
    for (const FormatPiece& piece : pieces) {
        text += FormatField(piece, fields, twelveHour);
    }
    return text;
}
