// Speed of the trailing-padding scan, as ratios measured in one run, the
// contenders interleaved round by round (best of each) so that drift in the
// machine's state hits all alike:
//   1. a dense 2 GiB file as just written (1 MiB pieces), and as read from
//      disk into the cache: the scan against a plain sequential 1 MiB read
//      of the same file, with the pad byte 0x00, 0xFF and both; and through
//      the real window (Qt, offscreen) on the file as written;
//   2. resident memory during that scan, above the idle process;
//   3. sparse files: 1 TiB with 4 KiB of data, and 3 GiB with 66,000 data
//      runs followed by a hole;
//   4. a disk of 12 MB/s (emulated): the longest the window waits between
//      two chunks;
//   5. the dense file read from disk (page cache emptied; root only): the
//      scan against the plain forward read.
// bench/per-filesystem.sh runs it on ext4, xfs and tmpfs.
// Usage: tavrix_bench [folder for the test files]   (needs ~4.5 GiB free)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/handlers.h"
#include "app/view.h"
#include "bench/bench_run.h"
#include "size/scan_file.h"

#ifdef TAVRIX_BENCH_WINDOW
#include <QApplication>

#include "app/qt/main_window.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t MiB = 1 << 20;
constexpr std::int64_t GiB = 1024 * MiB;

// Runs each contender once per round, `rounds` times, and keeps each one's
// best time.
std::vector<double> interleaved(int rounds, const std::vector<std::function<void()>>& contenders) {
    std::vector<double> best(contenders.size(), 1e30);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < contenders.size(); ++i) best[i] = std::min(best[i], time_of(contenders[i]));
    }
    return best;
}

// `runs` blocks of data, one every `stride` bytes, then a hole to `size`.
// Returns the offset just past the last data byte, or -1.
std::int64_t make_runs(const std::string& path, std::int64_t size, int runs, std::int64_t stride) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return -1;
    std::vector<char> data(4096, 'r');
    bool ok = true;
    for (int run = 0; ok && run < runs; ++run) {
        ok = ::pwrite(fd, data.data(), data.size(), run * stride) == static_cast<ssize_t>(data.size());
    }
    ok = ok && ::ftruncate(fd, size) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    return ok ? (runs - 1) * stride + 4096 : -1;
}

// The reference: read the file front to back in 1 MiB chunks, touching nothing.
std::int64_t plain_read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(MiB)]);
    std::int64_t total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.get(), static_cast<std::size_t>(MiB))) > 0;) total += got;
    ::close(fd);
    return total;
}

// Drops one file's pages from the page cache (written back first).
void evict(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

bool drop_all_caches() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    drop.flush();
    return static_cast<bool>(drop);
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when unknown.
std::int64_t status_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + key.size());
    }
    return -1;
}

std::int64_t scan(const std::string& path, PadBytes pad) {
    SilentObserver quiet;
    const ScanResult result = scan_file(path, quiet, pad);
    return result.ok() ? result.trailing : -1;
}

// A file read at `bytesPerSecond`, as from a slow disk.
class SlowFile final : public ScanSource {
public:
    SlowFile(OsdFile& file, double bytesPerSecond) : file_(file), bytesPerSecond_(bytesPerSecond) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override { return file_.dataRangesBelow(end); }
    OsdError readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        std::this_thread::sleep_for(std::chrono::duration<double>(static_cast<double>(count) / bytesPerSecond_));
        return file_.readAt(offset, buffer, count);
    }

private:
    FileSource file_;
    double bytesPerSecond_;
};

struct Goals {
    int missed = 0;
    void check(bool met, const std::string& what) {
        std::printf("  %s: %s\n", what.c_str(), met ? "met" : "NOT MET");
        missed += met ? 0 : 1;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string dense = (folder / "tavrix-bench-dense.bin").string();
    const std::string denseFF = (folder / "tavrix-bench-dense-ff.bin").string();
    const std::string sparse = (folder / "tavrix-bench-sparse.bin").string();
    const std::string runs = (folder / "tavrix-bench-runs.bin").string();
    const std::int64_t denseSize = 2 * GiB;
    const std::int64_t sparseSize = std::int64_t{1} << 40;
    const std::int64_t runsSize = 3 * GiB;
    const int runCount = 66000;

    std::printf("preparing 2 GiB of 0x00 and of 0xFF, 1 TiB sparse, 3 GiB with %d runs, in %s\n", runCount,
                folder.string().c_str());
    const std::int64_t runsEnd = make_runs(runs, runsSize, runCount, 32 * 1024);
    if (!make_dense(dense, denseSize, '\0') || !make_dense(denseFF, denseSize, '\xff') ||
        !make_sparse(sparse, sparseSize) || runsEnd < 0) {
        std::fprintf(stderr, "cannot write the test files in %s\n", folder.string().c_str());
        return 1;
    }
    ::sync();  // nothing left to write back (a loop-mounted image's own file too) while timing
    Goals goals;
    const double gb = static_cast<double>(denseSize) / 1e9;
    const std::int64_t expected = denseSize - 1;
    int wrong = 0;
    auto expect = [&](std::int64_t got, std::int64_t want) {
        if (got != want) ++wrong;
    };

    // As just written, in 1 MiB pieces: the cache holds the file in small
    // pages, the common case of a dump just made.
    plain_read(dense);
    {
        const std::vector<double> t = interleaved(5, {[&] { expect(plain_read(dense), denseSize); },
                                                      [&] { expect(scan(dense, 0), expected); }});
        std::printf("dense 2 GiB as written: plain read %.2f GB/s; scan %.2f GB/s, ratio %.2f\n", gb / t[0], gb / t[1],
                    t[0] / t[1]);
        goals.check(t[0] / t[1] >= 1.25, "as written: scan >= 1.25 x plain read");
    }

    // As read from disk: how a file that was not just written sits in the cache.
    evict(dense);
    evict(denseFF);
    plain_read(dense);
    plain_read(denseFF);
    {
        const std::vector<double> t =
            interleaved(7, {[&] { expect(plain_read(dense), denseSize); }, [&] { expect(scan(dense, 0), expected); },
                            [&] { expect(scan(denseFF, 0xFF), expected); },
                            [&] { expect(scan(denseFF, PadBytes(0x00, 0xFF)), expected); }});
        std::printf("dense 2 GiB cached: plain 1 MiB read %.2f GB/s, scan %.2f GB/s, ratio %.2f; pad 0xFF %.2f GB/s "
                    "(%.2f of 0x00); pad set 0x00,0xff %.2f GB/s (%.2f of 0xff alone)\n",
                    gb / t[0], gb / t[1], t[0] / t[1], gb / t[2], t[1] / t[2], gb / t[3], t[2] / t[3]);
        goals.check(t[0] / t[1] >= 1.5, "cached: scan >= 1.5 x plain read");
        goals.check(t[2] <= t[1] * 1.10, "pad 0xFF as fast as 0x00 (within 10%)");
        goals.check(t[3] <= t[2] * 1.10, "a set of two pad bytes as fast as one (within 10%)");
    }

    // Resident memory: the peak during a scan against the process just
    // before (two 256 KiB buffers and a thread's stack).
    {
        std::ofstream("/proc/self/clear_refs") << "5\n";  // resets VmHWM
        const std::int64_t idle = status_kib("VmRSS");
        std::int64_t sampled = 0;
        struct Sampler final : ScanObserver {
            std::int64_t* peak;
            bool beforeChunk(int) override {
                *peak = std::max(*peak, status_kib("VmRSS"));
                return true;
            }
        } sampler;
        sampler.peak = &sampled;
        expect(scan_file(dense, sampler, 0).trailing, expected);
        const std::int64_t peak = std::max(status_kib("VmHWM"), sampled);
        std::printf("resident memory: idle %lld KiB, peak during the scan %lld KiB (+%lld KiB)\n",
                    static_cast<long long>(idle), static_cast<long long>(peak), static_cast<long long>(peak - idle));
        goals.check(idle > 0 && peak - idle <= 4 * 1024, "resident memory <= 4 MiB above idle");
    }

    {
        std::int64_t zeros = -1;
        const std::vector<double> t = interleaved(5, {[&] { zeros = scan(sparse, 0); }});
        std::printf("sparse 1 TiB, 4 KiB data: scan %.3f ms\n", t[0] * 1e3);
        expect(zeros, sparseSize - 4096);
        goals.check(t[0] < 0.010, "sparse scan < 10 ms");
    }
    {
        std::int64_t zeros = -1;
        const std::vector<double> t = interleaved(5, {[&] { zeros = scan(runs, 0); }});
        std::printf("3 GiB, %d data runs then a hole: scan %.1f ms\n", runCount, t[0] * 1e3);
        expect(zeros, runsSize - runsEnd);
        goals.check(t[0] < 0.100, "many runs then a hole < 100 ms");
    }

    {
        // 64 MiB at 12 MB/s, stopped after 24 chunks (two seconds).
        struct GapObserver final : ScanObserver {
            Clock::time_point last = Clock::now();
            double longest = 0;
            int chunks = 0;
            bool beforeChunk(int) override {
                const auto now = Clock::now();
                longest = std::max(longest, std::chrono::duration<double>(now - last).count());
                last = now;
                return ++chunks < 24;
            }
        } gaps;
        OsdFile file;
        if (osd_open(file, dense, OsdAccess::Read) == 0) {
            SlowFile slow(file, 12e6);
            (void)scan_trailing(slow, file.size, gaps, 0);
        }
        std::printf("disk of 12 MB/s: longest wait between chunks %.0f ms\n", gaps.longest * 1e3);
        goals.check(gaps.chunks == 24 && gaps.longest < 0.3, "slow disk: the window waits < 0.3 s between chunks");
    }

#ifdef TAVRIX_BENCH_WINDOW
    {
        if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        TForm1 window;
        window.show();
        // On the file as written, the common case.
        if (!make_dense(dense, denseSize, '\0')) std::fprintf(stderr, "cannot write %s again\n", dense.c_str());
        ::sync();  // a loop-mounted image's own file is written back too, not during the rounds
        window.setEdit1Text(dense);
        const std::vector<double> t =
            interleaved(7, {[&] { expect(plain_read(dense), denseSize); }, [&] { Button1Click(window); }});
        std::printf("through the window, as written: %.1f ms, plain read %.1f ms, ratio %.2f\n", t[1] * 1e3,
                    t[0] * 1e3, t[0] / t[1]);
        goals.check(t[0] / t[1] >= 1.2, "window scan >= 1.2 x plain read");
    }
#endif

    // Read from disk: the cache emptied before every contender, each round
    // starting with another one.
    if (::geteuid() == 0) {
        const int rounds = 5;
        std::vector<double> total(2, 0.0);
        for (int round = 0; round < rounds; ++round) {
            std::vector<double> t(2);
            const std::function<void()> contenders[] = {[&] { expect(scan(dense, 0), expected); },
                                                        [&] { expect(plain_read(dense), denseSize); }};
            for (std::size_t k = 0; k < 2; ++k) {
                const std::size_t i = (k + static_cast<std::size_t>(round)) % 2;
                if (!drop_all_caches()) std::fprintf(stderr, "cannot empty the page cache\n");
                t[i] = time_of(contenders[i]);
                total[i] += t[i];
            }
            std::printf("dense 2 GiB from disk, round %d: scan %.0f ms, plain forward read %.0f ms\n", round + 1,
                        t[0] * 1e3, t[1] * 1e3);
        }
        std::printf("from disk, %d rounds: scan %.2f GB/s, plain forward read %.2f GB/s\n", rounds,
                    rounds * gb / total[0], rounds * gb / total[1]);
        goals.check(total[0] <= total[1], "from disk: scan at least as fast as the plain forward read");
    } else {
        std::printf("from disk: skipped, emptying the page cache needs root\n");
    }

    if (wrong != 0) std::printf("%d scans or reads gave a wrong answer\n", wrong);
    for (const std::string& path : {dense, denseFF, sparse, runs}) std::filesystem::remove(path);
    std::printf("%d of the goals not met\n", goals.missed + (wrong != 0 ? 1 : 0));
    return goals.missed == 0 && wrong == 0 ? 0 : 1;
}
