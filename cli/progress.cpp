#include "cli/progress.h"

#include <cstdio>
#include <iterator>

#include "cli/console.h"

namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr auto kRedrawTime = std::chrono::milliseconds(100);

bool terminal() {
    static const bool is = stderr_is_terminal();
    return is;
}

// "512 B", "3.4 MiB", "1.0 GiB".
std::string bytes_shown(double bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    std::size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(units)) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

// "0:07", "12:34", "1:02:03".
std::string duration_shown(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

Progress::Progress(std::string label, Direction direction)
    : label_(std::move(label)), direction_(direction), start_(Clock::now()) {}

Progress::~Progress() {
    if (shownWidth_ > 0) write_err("\r" + std::string(shownWidth_, ' ') + "\r");
}

bool Progress::due(Clock::time_point now) const {
    return now - start_ >= kQuietTime && now - lastShown_ >= kRedrawTime;
}

void Progress::show(const std::string& text, Clock::time_point now) {
    lastShown_ = now;
    const std::string line = "tavrix-cli: " + label_ + " " + text;
    // Columns, roughly: each UTF-8 lead byte starts one character.
    std::size_t width = 0;
    for (const char c : line) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    const std::string blank = width < shownWidth_ ? std::string(shownWidth_ - width, ' ') : std::string();
    write_err("\r" + line + blank);
    shownWidth_ = width > shownWidth_ ? width : shownWidth_;
}

bool Progress::beforeChunk(int percent) {
    if (interrupt_exit_status() != 0) return false;
    if (!terminal()) return true;
    const Clock::time_point now = Clock::now();
    const int done = direction_ == Direction::Done ? percent : 100 - percent;
    if (done == lastPercent_ || !due(now)) return true;
    lastPercent_ = done;
    show(std::to_string(done) + "%", now);
    return true;
}

bool Progress::beforeBytes(std::int64_t done, std::int64_t total) {
    if (interrupt_exit_status() != 0) return false;
    if (!terminal()) return true;
    const Clock::time_point now = Clock::now();
    if (!due(now) || total <= 0) return true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = static_cast<double>(done) / seconds;
    std::string text = bytes_shown(static_cast<double>(done)) + " of " + bytes_shown(static_cast<double>(total)) +
                       " (" + std::to_string(percent_before(done, total)) + "%), " +
                       bytes_shown(rate) + "/s";
    if (rate > 0) text += ", " + duration_shown(static_cast<double>(total - done) / rate) + " left";
    show(text, now);
    return true;
}
