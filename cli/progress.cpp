#include "cli/progress.h"

#include "cli/console.h"

namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr auto kRedrawTime = std::chrono::milliseconds(100);

bool terminal() {
    static const bool is = stderr_is_terminal();
    return is;
}

}  // namespace

Progress::Progress(std::string label, Direction direction)
    : label_(std::move(label)), direction_(direction), start_(Clock::now()) {}

Progress::~Progress() {
    if (shownWidth_ > 0) write_err("\r" + std::string(shownWidth_, ' ') + "\r");
}

bool Progress::beforeChunk(int percent) {
    if (interrupt_exit_status() != 0) return false;
    if (!terminal()) return true;
    const Clock::time_point now = Clock::now();
    if (now - start_ < kQuietTime) return true;
    const int done = direction_ == Direction::Done ? percent : 100 - percent;
    if (done == lastPercent_ || now - lastShown_ < kRedrawTime) return true;
    lastPercent_ = done;
    lastShown_ = now;
    const std::string line = "tavrix-cli: " + label_ + " " + std::to_string(done) + "%";
    // Columns, roughly: each UTF-8 lead byte starts one character.
    std::size_t width = 0;
    for (const char c : line) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    const std::string blank = width < shownWidth_ ? std::string(shownWidth_ - width, ' ') : std::string();
    write_err("\r" + line + blank);
    shownWidth_ = width > shownWidth_ ? width : shownWidth_;
    return true;
}
