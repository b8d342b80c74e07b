#include "cli/options.h"

#include <charconv>
#include <string_view>

#include "cli/report.h"

namespace {

enum Option : unsigned {
    kByte = 1u << 0,
    kAlign = 1u << 1,
    kDryRun = 1u << 2,
    kJson = 1u << 3,
    kFill = 1u << 4,
    kSeed = 1u << 5,
    kNoCreate = 1u << 6,
    kSize = 1u << 7,
    kReference = 1u << 8,
    kIoBlocks = 1u << 9,
    kHelp = 1u << 10,  // both read before the rest of the line
    kVersion = 1u << 11,
    kAlgo = 1u << 12,
    kPadTo = 1u << 13,
};

struct OptionName {
    std::string_view name;
    char shortName;  // 0: none
    Option option;
    bool takesValue;
};

constexpr OptionName kOptions[] = {
    {"--byte", 0, kByte, true},          {"--align", 0, kAlign, true},
    {"--dry-run", 0, kDryRun, false},    {"--json", 0, kJson, false},
    {"--fill", 0, kFill, true},          {"--seed", 0, kSeed, true},
    {"--no-create", 'c', kNoCreate, false}, {"--size", 's', kSize, true},
    {"--reference", 'r', kReference, true}, {"--io-blocks", 'o', kIoBlocks, false},
    {"--help", 0, kHelp, false},         {"--version", 0, kVersion, false},
    {"--algo", 0, kAlgo, true},          {"--pad-to", 0, kPadTo, true},
};

struct CommandName {
    std::string_view name;
    Command command;
    unsigned options;
};

constexpr CommandName kCommands[] = {
    {"scan", Command::Scan, kByte | kJson},
    {"trim", Command::Trim, kByte | kAlign | kDryRun | kJson},
    {"set", Command::Set, kFill | kSeed | kNoCreate | kSize | kReference | kIoBlocks | kDryRun | kJson},
    {"create", Command::Create, kFill | kSeed | kJson},
    {"info", Command::Info, kJson},
    {"hash", Command::Hash, kAlgo | kPadTo | kByte | kJson},
};

// "0xNN": one or two hexadecimal digits.
std::optional<std::uint8_t> parse_hex_byte(std::string_view text) {
    if (text.size() < 3 || text.size() > 4 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return {};
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return {};
    return static_cast<std::uint8_t>(value);
}

// "auto", one byte, or a set of two ("0x00,0xff") for layered padding.
std::optional<PadChoice> parse_pad(std::string_view text) {
    if (text == "auto") return PadChoice{true, 0};
    const std::size_t comma = text.find(',');
    const std::optional<std::uint8_t> first = parse_hex_byte(text.substr(0, comma));
    if (!first) return {};
    if (comma == std::string_view::npos) return PadChoice{false, *first};
    const std::optional<std::uint8_t> second = parse_hex_byte(text.substr(comma + 1));
    if (!second) return {};
    return PadChoice{false, PadBytes(*first, *second)};
}

std::optional<TrimAlignment> parse_alignment(std::string_view text) {
    if (text == "pow2") return TrimAlignment{TrimAlignment::Kind::PowerOfTwo, 1};
    const std::optional<std::int64_t> multiple = parse_byte_count(text);
    if (!multiple || *multiple <= 0) return {};
    return TrimAlignment{TrimAlignment::Kind::Multiple, *multiple};
}

std::optional<Fill> parse_fill(std::string_view text) {
    Fill fill;
    if (text == "zero") return fill;
    if (text == "random") {
        fill.kind = Fill::Kind::Random;
        return fill;
    }
    if (const std::optional<std::uint8_t> byte = parse_hex_byte(text)) {
        fill.kind = Fill::Kind::Byte;
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

// A negative SIZE of set ("-1M") is an operand, not an option.
bool looks_like_negative_size(std::string_view arg) { return arg.size() > 1 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9'; }

// The size of `arg`, or why it is none.
std::optional<SizeExpression> read_size(const std::string& arg, bool allowRelative, std::string& error) {
    const ParsedSizeExpression parsed = read_size_expression(arg, allowRelative);
    switch (parsed.status) {
        case ParsedSizeExpression::Status::Ok: return parsed.size;
        case ParsedSizeExpression::Status::Invalid: error = "invalid size " + shown_argument(arg); break;
        case ParsedSizeExpression::Status::TooLarge:
            error = "size " + shown_argument(arg) + " is too large (at most 9223372036854775807 bytes, just under 8E)";
            break;
        case ParsedSizeExpression::Status::ZeroMultiple:
            error = "invalid size " + shown_argument(arg) + ": a multiple of 0";
            break;
    }
    return std::nullopt;
}

// The option a long name stands for: the one spelled so, else the only one
// the name begins ("--siz" for --size), counted among all options whatever
// the command, as getopt_long counts them. Null, with `error`, for none or
// several.
const OptionName* find_long_option(std::string_view name, std::string& error) {
    std::vector<const OptionName*> matches;
    for (const OptionName& option : kOptions) {
        if (option.name == name) return &option;
        if (option.name.substr(0, name.size()) == name) matches.push_back(&option);
    }
    if (matches.size() == 1) return matches.front();
    error = matches.empty() ? "unknown option " + shown_argument(name)
                            : "option " + shown_argument(name) + " is ambiguous; possibilities:";
    for (const OptionName* option : matches) error += " '" + std::string(option->name) + "'";
    return nullptr;
}

// --help, -h or --version before any "--": the rest of the line is then
// not read.
std::optional<Command> help_or_version(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "-h") return Command::Help;
        std::string ignored;
        const OptionName* option = arg.size() > 2 && arg.rfind("--", 0) == 0 && arg.find('=') == std::string::npos
                                       ? find_long_option(arg, ignored)
                                       : nullptr;
        if (option != nullptr && option->option == kHelp) return Command::Help;
        if (option != nullptr && option->option == kVersion) return Command::Version;
    }
    return std::nullopt;
}

// hash --algo; an empty message when the list is valid.
std::string read_algorithms(std::string_view text, std::vector<DigestAlgorithm>& algorithms) {
    const DigestList list = parse_digest_list(text);
    if (list.unknown) return "unknown algorithm " + shown_argument(*list.unknown) + " (crc32, md5, sha1, sha256)";
    algorithms = list.algorithms;
    return {};
}

// hash --pad-to: an absolute size.
std::string read_pad_to(const std::string& text, std::optional<std::int64_t>& padTo) {
    std::string error;
    if (const std::optional<SizeExpression> size = read_size(text, false, error)) padTo = size->value;
    return error;
}

// hash pads with one byte, and only up to a --pad-to length.
std::string hash_usage_error(const Invocation& invocation, bool byteGiven) {
    if (byteGiven && !invocation.padTo) return "--byte needs --pad-to";
    if (invocation.pad.automatic || !invocation.pad.bytes.single()) return "hash pads with one byte (0x00 to 0xff)";
    return {};
}

struct Operand {
    std::string text;
    bool optionLike;  // "-1M": a size, never a file's name
};

// What the command line has said so far.
struct Parse {
    const CommandName& command;
    Invocation invocation;
    std::optional<std::string> sizeOption;
    bool seedSeen = false;
    bool byteSeen = false;
    std::vector<Operand> operands;

    bool applies(const OptionName& option) const { return (command.options & option.option) != 0; }
};

// Applies one option; an empty message when it is valid.
std::string apply_option(Parse& parse, const OptionName& option, const std::string& shownName,
                         const std::string& value) {
    Invocation& invocation = parse.invocation;
    if (!parse.applies(option))
        return "option " + shown_argument(shownName) + " does not apply to " + std::string(parse.command.name);
    switch (option.option) {
        case kByte: {
            const std::optional<PadChoice> pad = parse_pad(value);
            if (!pad) return "invalid byte " + shown_argument(value) + " (0x00 to 0xff, two as 0x00,0xff, or auto)";
            invocation.pad = *pad;
            parse.byteSeen = true;
            break;
        }
        case kAlign: {
            const std::optional<TrimAlignment> alignment = parse_alignment(value);
            if (!alignment) return "invalid alignment " + shown_argument(value) + " (a positive size, or pow2)";
            invocation.alignment = *alignment;
            break;
        }
        case kFill: {
            const std::optional<Fill> fill = parse_fill(value);
            if (!fill) return "invalid fill " + shown_argument(value) + " (zero, 0x00 to 0xff, or random)";
            const std::uint64_t seed = invocation.fill.seed;
            invocation.fill = *fill;
            invocation.fill.seed = seed;
            break;
        }
        case kSeed: {
            const std::optional<std::uint64_t> seed = parse_seed(value);
            if (!seed) return "invalid seed " + shown_argument(value) + " (0 to 18446744073709551615)";
            invocation.fill.seed = *seed;
            parse.seedSeen = true;
            break;
        }
        case kAlgo: return read_algorithms(value, invocation.algorithms);
        case kPadTo: return read_pad_to(value, invocation.padTo);
        case kSize: parse.sizeOption = value; break;
        case kReference:
            if (value.empty()) return "option " + shown_argument(shownName) + " needs a file";
            invocation.reference = value;
            break;
        case kDryRun: invocation.dryRun = true; break;
        case kJson: invocation.json = true; break;
        case kNoCreate: invocation.noCreate = true; break;
        case kIoBlocks: invocation.ioBlocks = true; break;
        case kHelp: case kVersion: break;
    }
    return {};
}

// The long option at args[i] ("--size=1K", "--size 1K", "--siz 1K"),
// applied; `i` moves past a value taken from the next argument. An empty
// message when it is valid.
std::string read_long_option(Parse& parse, const std::vector<std::string>& args, std::size_t& i) {
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    std::string error;
    const OptionName* option = find_long_option(std::string_view(arg).substr(0, equals), error);
    if (option == nullptr) return error;
    const std::string name(option->name);
    std::string value;
    if (option->takesValue && parse.applies(*option)) {
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return "option " + shown_argument(name) + " needs a value";
        }
    } else if (!option->takesValue && equals != std::string::npos) {
        return "option " + shown_argument(name) + " takes no value";
    }
    return apply_option(parse, *option, name, value);
}

// Short options, several in one word as in "-co"; one taking a value takes
// the rest of the word ("-s1M") or the next argument.
std::string read_short_options(Parse& parse, const std::vector<std::string>& args, std::size_t& i) {
    const std::string& arg = args[i];
    for (std::size_t at = 1; at < arg.size(); ++at) {
        const std::string name = std::string("-") + arg[at];
        const OptionName* option = nullptr;
        for (const OptionName& candidate : kOptions)
            if (candidate.shortName == arg[at]) option = &candidate;
        if (option == nullptr) return "unknown option " + shown_argument(name);
        std::string value;
        const bool valueHere = option->takesValue && at + 1 < arg.size();
        if (valueHere) {
            value = arg.substr(at + 1);
        } else if (option->takesValue && parse.applies(*option)) {
            if (i + 1 >= args.size()) return "option " + shown_argument(name) + " needs a value";
            value = args[++i];
        }
        const std::string error = apply_option(parse, *option, name, value);
        if (!error.empty() || valueHere) return error;
    }
    return {};
}

ParsedArguments usage(std::string message) { return {std::nullopt, std::move(message)}; }

// The SIZE and the files, from the operands and options read.
ParsedArguments finish(Parse& parse) {
    Invocation& invocation = parse.invocation;
    const std::vector<Operand>& operands = parse.operands;
    const bool isSet = parse.command.command == Command::Set;
    const bool takesSize = isSet || parse.command.command == Command::Create;
    // SIZE is the first operand unless -s or -r gave it.
    std::size_t firstPath = 0;
    if (takesSize) {
        std::string error;
        std::optional<SizeExpression> size;
        if (parse.sizeOption) {
            size = read_size(*parse.sizeOption, isSet, error);
        } else if (invocation.reference) {
            size = SizeExpression{SizeOp::Grow, 0};
        } else if (!operands.empty()) {
            size = read_size(operands.front().text, isSet, error);
            firstPath = 1;
        } else {
            return usage("no size given");
        }
        if (!size) return usage(error);
        invocation.size = *size;
    }
    // "set -r ref +1K f" meant the size, not a file named "+1K": such a name
    // is refused (./+1K names that file).
    if (takesSize && firstPath == 0 && !operands.empty() && read_size_expression(operands.front().text, true).ok())
        return usage(shown_argument(operands.front().text) + " reads as a size, but -s or -r gives the size (" +
                     shown_path("./" + operands.front().text) + " names a file)");
    for (std::size_t i = firstPath; i < operands.size(); ++i) {
        if (operands[i].optionLike)
            return usage("unknown option " + shown_argument(operands[i].text) + " (a size is given already)");
        invocation.paths.push_back(operands[i].text);
    }

    if (invocation.reference && invocation.size.op == SizeOp::Set)
        return usage("with --reference, the size must be relative (+ - < > % /)");
    const bool sizeTyped = parse.sizeOption || firstPath == 1;
    if (invocation.ioBlocks && !sizeTyped) return usage("--io-blocks needs a size");
    if (parse.seedSeen && invocation.fill.kind != Fill::Kind::Random) return usage("--seed needs --fill random");
    if (parse.command.command == Command::Create) {
        if (invocation.paths.size() > 1) return usage("create takes one path");
    } else if (invocation.paths.empty()) {
        return usage("no file given");
    }
    if (parse.command.command == Command::Hash) {
        const std::string error = hash_usage_error(invocation, parse.byteSeen);
        if (!error.empty()) return usage(error);
    }
    return {std::move(invocation), {}};
}

}  // namespace

std::string pad_name(std::uint8_t pad) {
    static const char digits[] = "0123456789abcdef";
    return {'0', 'x', digits[pad >> 4], digits[pad & 15]};
}

std::string fill_name(const Fill& fill) {
    switch (fill.kind) {
        case Fill::Kind::Zero: return "zero";
        case Fill::Kind::Byte: return pad_name(fill.byte);
        case Fill::Kind::Random: return "random";
    }
    return "zero";
}

ParsedArguments parse_arguments(const std::vector<std::string>& args, std::uint64_t randomSeed) {
    if (const std::optional<Command> only = help_or_version(args)) {
        Invocation invocation;
        invocation.command = *only;
        return {std::move(invocation), {}};
    }
    if (args.empty()) return usage("no command given");

    const CommandName* command = nullptr;
    for (const CommandName& candidate : kCommands)
        if (candidate.name == args[0]) command = &candidate;
    if (command == nullptr) return usage("unknown command " + shown_argument(args[0]));

    Parse parse{*command, {}, {}, false, false, {}};
    parse.invocation.command = command->command;
    parse.invocation.fill.seed = randomSeed;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool negativeSize = command->command == Command::Set && looks_like_negative_size(arg);
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || negativeSize) {
            parse.operands.push_back({arg, !optionsEnded && negativeSize});
            continue;
        }
        const std::string error = arg[1] == '-' ? read_long_option(parse, args, i) : read_short_options(parse, args, i);
        if (!error.empty()) return usage(error);
    }
    return finish(parse);
}

const char kHelpText[] =
    "Usage: tavrix-cli COMMAND [OPTION]... [ARGUMENT]... | -h, --help | --version\n"
    "Find and trim the padding at the end of files, and set files to exact lengths.\n"
    "\n"
    "  scan FILE...           count the padding bytes at the end\n"
    "  trim FILE...           cut them off\n"
    "  set SIZE FILE...       give each file the length SIZE, creating missing ones\n"
    "  create SIZE [PATH]     make a new file (PATH a folder: a time-stamped name)\n"
    "  info FILE...           length, bytes allocated, data runs\n"
    "  hash FILE...           digests, as sha256sum prints them (--algo, --pad-to)\n"
    "\n"
    "  --byte B               scan, trim: padding byte: 0x00 (default), any 0xNN,\n"
    "                         two as 0x00,0xff (any mix of them), or auto (the last\n"
    "                         byte when it is 0x00 or 0xff); hash: one 0xNN\n"
    "  --align A              trim: round the new length up to a multiple of A (a\n"
    "                         SIZE) or a power of two (pow2); only padding is cut\n"
    "  -s, --size=SIZE        set: SIZE as an option; every operand is a FILE\n"
    "  -r, --reference=RFILE  set: RFILE's length, or with a relative SIZE, adjusted\n"
    "  -o, --io-blocks        set: SIZE counts each file's I/O blocks, not bytes\n"
    "  -c, --no-create        set: never create a file\n"
    "  --fill F               set, create: added bytes zero (default, sparse), 0xNN\n"
    "                         or random; --seed N: the same N, the same random bytes\n"
    "  --dry-run              trim, set: report what would be done, change nothing\n"
    "  --algo LIST            hash: crc32,md5,sha1,sha256 (default sha256)\n"
    "  --pad-to SIZE          hash: each file as if padded with --byte to SIZE bytes\n"
    "  --json                 one JSON object per file and line\n"
    "\n"
    "SIZE: a number and unit: K M G T P E Z Y or KiB ... YiB (1024^n), KB ... YB\n"
    "(1000^n); a unit alone is one of it. For set: +SIZE grows, -SIZE shrinks, <SIZE\n"
    "at most, >SIZE at least, %SIZE rounds up, /SIZE down to a multiple.\n"
    "Exit status: 0 done, 1 a file failed, 2 usage error, 129/130/143 interrupted.\n";
