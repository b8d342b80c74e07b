// The command line, read completely before any file is touched: a mistake
// in it is a usage error (exit status 2) and changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "digest/digest.h"
#include "size/fill.h"
#include "size/size_expression.h"
#include "size/trim.h"

enum class Command { Scan, Trim, Set, Create, Info, Hash, Help, Version };

struct Invocation {
    Command command = Command::Help;
    bool json = false;
    bool dryRun = false;
    bool noCreate = false;
    // set -r: the length of this file stands in for each file's own as the
    // base of `size`, which is then relative (+0 when no SIZE was given).
    std::optional<std::string> reference;
    // set -o: `size`'s value counts I/O blocks of each file (st_blksize),
    // not bytes.
    bool ioBlocks = false;
    PadChoice pad;
    TrimAlignment alignment;
    SizeExpression size;
    Fill fill;
    // hash: the digests in the order asked, and the length to pad each file
    // to (with `pad`'s one byte) before it is hashed.
    std::vector<DigestAlgorithm> algorithms{DigestAlgorithm::Sha256};
    std::optional<std::int64_t> padTo;
    std::vector<std::string> paths;
};

struct ParsedArguments {
    std::optional<Invocation> invocation;
    std::string usageError;  // when there is no invocation
};

// `args` are the arguments after the program's name, UTF-8. `randomSeed`
// seeds --fill random when no --seed is given.
ParsedArguments parse_arguments(const std::vector<std::string>& args, std::uint64_t randomSeed);

// The name --fill takes for `fill`: "zero", "0xff", "random".
std::string fill_name(const Fill& fill);

// "0x00" … "0xff".
std::string pad_name(std::uint8_t pad);

// The --help text.
extern const char kHelpText[];
