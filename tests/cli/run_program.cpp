#include "tests/cli/run_program.h"

#include <cstdio>
#include <filesystem>
#include <random>

#include "tests/temp_dir.h"
#include "util/text_encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

std::vector<std::string> ProgramRun::lines() const {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        result.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

namespace {

bool seams_wanted = false;

const char* program_name() {
#ifdef _WIN32
    return seams_wanted ? "tavrix-cli-seams.exe" : "tavrix-cli.exe";
#else
    return seams_wanted ? "tavrix-cli-seams" : "tavrix-cli";
#endif
}

void set_seam_variable(const std::string& value) {
#ifdef _WIN32
    const std::u16string wide = text_to_utf16(value);
    SetEnvironmentVariableW(L"TAVRIX_TEST_SEAM",
                            value.empty() ? nullptr : reinterpret_cast<const wchar_t*>(wide.c_str()));
#else
    if (value.empty())
        ::unsetenv("TAVRIX_TEST_SEAM");
    else
        ::setenv("TAVRIX_TEST_SEAM", value.c_str(), 1);
#endif
}

// A fresh pair of capture files for one run.
std::string capture_base() {
    static std::mt19937_64 names{std::random_device{}()};
    return utf8_of(std::filesystem::temp_directory_path() / ("tavrix-cli-run-" + std::to_string(names())));
}

std::string take_file(const std::string& path) {
    std::string text = read_file(path);
    std::error_code ignored;
    std::filesystem::remove(fs_path(path), ignored);
    return text;
}

}  // namespace

SeamAction::SeamAction(const std::string& seam, const std::string& action, bool unguarded) {
    seams_wanted = true;
    set_seam_variable(seam + " " + action + (unguarded ? " unguarded" : ""));
}

SeamAction::~SeamAction() {
    seams_wanted = false;
    set_seam_variable("");
}


#ifdef _WIN32

namespace {

std::wstring widen(const std::string& utf8) {
    const std::optional<std::u16string> wide = path_to_utf16(utf8);
    return wide ? std::wstring(wide->begin(), wide->end()) : std::wstring();
}

// Quotes one argument the way the C runtime's parser reads it back:
// backslashes are literal unless they precede a quote.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < arg.size() && arg[i] == L'\\') ++i, ++backslashes;
        if (i == arg.size()) {
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += arg[i];
    }
    line += L'"';
}

HANDLE inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string cli_program() {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::wstring folder = self.substr(0, self.find_last_of(L"\\/") + 1);
    const std::string name = program_name();
    const std::wstring program = folder + std::wstring(name.begin(), name.end());
    return path_from_utf16(std::u16string(program.begin(), program.end()));
}

ProgramRun run_cli(const std::vector<std::string>& args, const std::string& workDir) {
    const std::string base = capture_base();
    const std::wstring program = widen(cli_program());
    std::wstring line;
    append_quoted(line, program);
    for (const std::string& arg : args) {
        line += L' ';
        append_quoted(line, widen(arg));
    }
    ProgramRun run;
    HANDLE out = inheritable(widen(base + ".out"), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable(widen(base + ".err"), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring folder = widen(workDir);
    const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    CloseHandle(in);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    run.out = take_file(base + ".out");
    run.err = take_file(base + ".err");
    return run;
}

#else

std::string cli_program() {
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size());
    self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return self.substr(0, self.rfind('/') + 1) + program_name();
}

StartedProgram start_cli(const std::vector<std::string>& args, const std::string& workDir) {
    const std::string base = capture_base();
    StartedProgram started{-1, base + ".out", base + ".err"};
    const std::string program = cli_program();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(started.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            (!workDir.empty() && ::chdir(workDir.c_str()) != 0))
            ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    started.pid = pid;
    return started;
}

ProgramRun wait_cli(const StartedProgram& started) {
    ProgramRun run;
    int status = 0;
    if (started.pid > 0 && ::waitpid(started.pid, &status, 0) == started.pid)
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = take_file(started.outPath);
    run.err = take_file(started.errPath);
    return run;
}

ProgramRun run_cli(const std::vector<std::string>& args, const std::string& workDir) {
    return wait_cli(start_cli(args, workDir));
}

#endif

namespace {

void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Reads a JSON string starting at the quote at `at`; false when malformed.
bool read_string(const std::string& line, std::size_t& at, std::string& value) {
    if (at >= line.size() || line[at] != '"') return false;
    ++at;
    while (at < line.size() && line[at] != '"') {
        if (static_cast<unsigned char>(line[at]) < 0x20) return false;
        if (line[at] != '\\') {
            value.push_back(line[at++]);
            continue;
        }
        if (++at >= line.size()) return false;
        const char escape = line[at++];
        switch (escape) {
            case '"': case '\\': case '/': value.push_back(escape); break;
            case 'n': value.push_back('\n'); break;
            case 't': value.push_back('\t'); break;
            case 'r': value.push_back('\r'); break;
            case 'b': value.push_back('\b'); break;
            case 'f': value.push_back('\f'); break;
            case 'u': {
                if (at + 4 > line.size()) return false;
                unsigned code = static_cast<unsigned>(std::stoul(line.substr(at, 4), nullptr, 16));
                at += 4;
                if (code >= 0xD800 && code <= 0xDBFF && line.compare(at, 2, "\\u") == 0) {
                    const unsigned low = static_cast<unsigned>(std::stoul(line.substr(at + 2, 4), nullptr, 16));
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        at += 6;
                    }
                }
                if (code >= 0xDC80 && code <= 0xDCFF)
                    value.push_back(static_cast<char>(code - 0xDC00));  // a byte that was not UTF-8
                else
                    append_utf8(value, code);
                break;
            }
            default: return false;
        }
    }
    if (at >= line.size()) return false;
    ++at;
    return true;
}

}  // namespace

JsonLine parse_json_line(const std::string& line) {
    JsonLine parsed;
    JsonLine invalid;
    std::size_t at = 0;
    if (line.empty() || line[0] != '{') return invalid;
    ++at;
    while (at < line.size() && line[at] != '}') {
        std::string key;
        if (!read_string(line, at, key) || at >= line.size() || line[at] != ':') return invalid;
        ++at;
        std::string value;
        bool isString = false;
        if (at < line.size() && line[at] == '"') {
            if (!read_string(line, at, value)) return invalid;
            isString = true;
        } else {
            while (at < line.size() && line[at] != ',' && line[at] != '}') value.push_back(line[at++]);
            if (value.empty()) return invalid;
        }
        parsed.keys.push_back(key);
        parsed.values[key] = value;
        parsed.isString[key] = isString;
        if (at < line.size() && line[at] == ',') ++at;
    }
    if (at + 1 != line.size()) return invalid;
    return parsed;
}
