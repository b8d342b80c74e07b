#include "cli/options.h"

#include <charconv>
#include <string_view>

namespace {

enum Option : unsigned {
    kByte = 1u << 0,
    kAlign = 1u << 1,
    kDryRun = 1u << 2,
    kJson = 1u << 3,
    kFill = 1u << 4,
    kSeed = 1u << 5,
    kNoCreate = 1u << 6,
};

struct OptionName {
    std::string_view name;
    Option option;
    bool takesValue;
};

constexpr OptionName kOptions[] = {
    {"--byte", kByte, true},     {"--align", kAlign, true}, {"--dry-run", kDryRun, false},
    {"--json", kJson, false},    {"--fill", kFill, true},   {"--seed", kSeed, true},
    {"--no-create", kNoCreate, false},
};

struct CommandName {
    std::string_view name;
    Command command;
    unsigned options;
};

constexpr CommandName kCommands[] = {
    {"scan", Command::Scan, kByte | kJson},
    {"trim", Command::Trim, kByte | kAlign | kDryRun | kJson},
    {"set", Command::Set, kFill | kSeed | kNoCreate | kDryRun | kJson},
    {"create", Command::Create, kFill | kSeed | kJson},
    {"info", Command::Info, kJson},
};

// "0xNN": one or two hexadecimal digits.
std::optional<std::uint8_t> parse_hex_byte(std::string_view text) {
    if (text.size() < 3 || text.size() > 4 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return {};
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return {};
    return static_cast<std::uint8_t>(value);
}

std::optional<PadChoice> parse_pad(std::string_view text) {
    if (text == "auto") return PadChoice{true, 0};
    if (const std::optional<std::uint8_t> byte = parse_hex_byte(text)) return PadChoice{false, *byte};
    return {};
}

std::optional<TrimAlignment> parse_alignment(std::string_view text) {
    if (text == "pow2") return TrimAlignment{TrimAlignment::Kind::PowerOfTwo, 1};
    const std::optional<std::int64_t> multiple = parse_byte_count(text);
    if (!multiple || *multiple <= 0) return {};
    return TrimAlignment{TrimAlignment::Kind::Multiple, *multiple};
}

std::optional<FillSpec> parse_fill(std::string_view text) {
    FillSpec fill;
    if (text == "zero") return fill;
    if (text == "random") {
        fill.kind = FillSpec::Kind::Random;
        return fill;
    }
    if (const std::optional<std::uint8_t> byte = parse_hex_byte(text)) {
        fill.kind = FillSpec::Kind::Byte;
        fill.byte = *byte;
        return fill;
    }
    return {};
}

std::optional<std::uint64_t> parse_seed(std::string_view text) {
    std::uint64_t seed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed, 10);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return {};
    return seed;
}

ParsedArguments usage(std::string message) { return {std::nullopt, std::move(message)}; }

// A negative SIZE of set ("-1M") is an operand, not an option.
bool looks_like_negative_size(std::string_view arg) { return arg.size() > 1 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9'; }

}  // namespace

std::string pad_name(std::uint8_t pad) {
    static const char digits[] = "0123456789abcdef";
    return {'0', 'x', digits[pad >> 4], digits[pad & 15]};
}

std::string fill_name(const FillSpec& fill) {
    switch (fill.kind) {
        case FillSpec::Kind::Zero: return "zero";
        case FillSpec::Kind::Byte: return pad_name(fill.byte);
        case FillSpec::Kind::Random: return "random";
    }
    return "zero";
}

ParsedArguments parse_arguments(const std::vector<std::string>& args, std::uint64_t randomSeed) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            Invocation only;
            only.command = arg == "--version" ? Command::Version : Command::Help;
            return {std::move(only), {}};
        }
    }
    if (args.empty()) return usage("no command given");

    const CommandName* command = nullptr;
    for (const CommandName& candidate : kCommands)
        if (candidate.name == args[0]) command = &candidate;
    if (command == nullptr) return usage("unknown command '" + args[0] + "'");

    Invocation invocation;
    invocation.command = command->command;
    invocation.fill.seed = randomSeed;
    const bool takesSize = command->command == Command::Set || command->command == Command::Create;
    bool sizeSeen = false;
    bool seedSeen = false;
    bool optionsEnded = false;

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool sizeNext = takesSize && !sizeSeen;
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-' &&
                              !(sizeNext && command->command == Command::Set && looks_like_negative_size(arg));
        if (!isOption) {
            if (sizeNext) {
                const std::optional<SizeSpec> size = parse_size_spec(arg, command->command == Command::Set);
                if (!size) return usage("invalid size '" + arg + "'");
                invocation.size = *size;
                sizeSeen = true;
            } else {
                invocation.paths.push_back(arg);
            }
            continue;
        }

        const std::size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const OptionName* option = nullptr;
        for (const OptionName& candidate : kOptions)
            if (candidate.name == name) option = &candidate;
        if (option == nullptr) return usage("unknown option '" + std::string(name) + "'");
        if ((command->options & option->option) == 0)
            return usage("option '" + std::string(name) + "' does not apply to " + std::string(command->name));

        std::string value;
        if (option->takesValue) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return usage("option '" + std::string(name) + "' needs a value");
            }
        } else if (equals != std::string::npos) {
            return usage("option '" + std::string(name) + "' takes no value");
        }

        switch (option->option) {
            case kByte: {
                const std::optional<PadChoice> pad = parse_pad(value);
                if (!pad) return usage("invalid byte '" + value + "' (0x00 to 0xff, or auto)");
                invocation.pad = *pad;
                break;
            }
            case kAlign: {
                const std::optional<TrimAlignment> alignment = parse_alignment(value);
                if (!alignment) return usage("invalid alignment '" + value + "' (a positive size, or pow2)");
                invocation.alignment = *alignment;
                break;
            }
            case kFill: {
                const std::optional<FillSpec> fill = parse_fill(value);
                if (!fill) return usage("invalid fill '" + value + "' (zero, 0x00 to 0xff, or random)");
                const std::uint64_t seed = invocation.fill.seed;
                invocation.fill = *fill;
                invocation.fill.seed = seed;
                break;
            }
            case kSeed: {
                const std::optional<std::uint64_t> seed = parse_seed(value);
                if (!seed) return usage("invalid seed '" + value + "' (0 to 18446744073709551615)");
                invocation.fill.seed = *seed;
                seedSeen = true;
                break;
            }
            case kDryRun: invocation.dryRun = true; break;
            case kJson: invocation.json = true; break;
            case kNoCreate: invocation.noCreate = true; break;
        }
    }

    if (takesSize && !sizeSeen) return usage("no size given");
    if (seedSeen && invocation.fill.kind != FillSpec::Kind::Random) return usage("--seed needs --fill random");
    if (command->command == Command::Create) {
        if (invocation.paths.size() > 1) return usage("create takes one path");
    } else if (invocation.paths.empty()) {
        return usage("no file given");
    }
    return {std::move(invocation), {}};
}

const char kHelpText[] =
    "Usage: tavrix-cli COMMAND [OPTION]... [ARGUMENT]...\n"
    "Find and trim the padding at the end of files, and set files to exact lengths.\n"
    "\n"
    "  scan [--byte B] [--json] FILE...     count the padding bytes at the end\n"
    "  trim [--byte B] [--align A] [--dry-run] [--json] FILE...   cut them off\n"
    "  set SIZE [--fill F] [--seed N] [--no-create] [--dry-run] [--json] FILE...\n"
    "                     give each file the length SIZE (create it when missing)\n"
    "  create SIZE [--fill F] [--seed N] [--json] [PATH]\n"
    "                     make a new file: PATH is a new name, or a folder to make a\n"
    "                     time-stamped name in (default: the current folder)\n"
    "  info [--json] FILE...                length, bytes allocated, data runs\n"
    "  --help | --version\n"
    "\n"
    "  --byte B     padding byte: 0x00 (default), 0xff, any 0xNN, or auto (the last\n"
    "               byte when it is 0x00 or 0xff)\n"
    "  --align A    round the trimmed length up to a multiple of A (a SIZE), or to\n"
    "               a power of two with pow2; only padding is ever cut\n"
    "  --dry-run    report what would be done, change nothing\n"
    "  --fill F     added bytes: zero (default, sparse), 0xNN or random (written)\n"
    "  --seed N     start --fill random from N: the same N, the same bytes\n"
    "  --no-create  a missing file is an error instead of being created\n"
    "  --json       one JSON object per file and line\n"
    "\n"
    "SIZE: bytes, with K M G T P or KiB ... PiB (1024^n) or KB ... PB (1000^n).\n"
    "For set: +SIZE grows, -SIZE shrinks, %SIZE rounds up, /SIZE down to a multiple.\n"
    "Exit status: 0 done, 1 a file failed, 2 usage error, 130/143 interrupted.\n";
