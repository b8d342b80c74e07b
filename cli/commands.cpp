#include "cli/commands.h"

#include <random>

#include "cli/console.h"
#include "cli/file_commands.h"
#include "cli/hash_command.h"
#include "cli/run.h"
#include "util/version.h"

namespace {

constexpr int kUsage = 2;

int write_or_fail(const std::string& text) { return write_report(text) ? 0 : kFailed; }

}  // namespace

int run_cli(const std::vector<std::string>& args) {
    // The file layer's trace line is for the window's log, not our output.
    osd_set_trace_sink(nullptr);
    std::random_device entropy;
    const std::uint64_t randomSeed = (std::uint64_t{entropy()} << 32) ^ entropy();
    const ParsedArguments parsed = parse_arguments(args, randomSeed);
    if (!parsed.invocation) {
        write_err("tavrix-cli: " + parsed.usageError + "\nTry 'tavrix-cli --help'.\n");
        return kUsage;
    }
    const Invocation& invocation = *parsed.invocation;
    Run run(invocation);
    switch (invocation.command) {
        case Command::Help: return write_or_fail(kHelpText);
        case Command::Version: return write_or_fail(std::string("tavrix-cli ") + kTavrixVersion + "\n");
        case Command::Scan: scan_command(run); break;
        case Command::Trim: trim_command(run); break;
        case Command::Set: set_command(run); break;
        case Command::Create: create_command(run); break;
        case Command::Info: info_command(run); break;
        case Command::Hash: hash_command(run); break;
    }
    return run.status();
}
