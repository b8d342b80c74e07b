// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "osd/osd.h"

// Our paths are UTF-8; std::filesystem takes them as char8_t to convert them
// right on every platform.
inline std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8_of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class TempDir {
public:
    TempDir() {
        std::random_device seed;
        path_ = std::filesystem::temp_directory_path() /
                ("tavrix-test-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // UTF-8 path of an entry inside the folder.
    std::string file(const std::string& name) const {
        return utf8_of(path_ / fs_path(name));
    }
    std::string path() const {
        return utf8_of(path_);
    }

private:
    std::filesystem::path path_;
};


inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(fs_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file of `size` bytes, all holes where the file system makes them on
// extension (Linux file systems do; NTFS only for files marked sparse).
inline void make_sparse(const std::string& path, std::uintmax_t size) {
    { std::ofstream create(fs_path(path), std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(fs_path(path), size);
}

inline std::string read_head(const std::string& path, std::size_t count) {
    std::ifstream in(fs_path(path), std::ios::binary);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline std::uintmax_t file_size(const std::string& path) { return std::filesystem::file_size(fs_path(path)); }

// Every data run of an open file, in order, as the scan finds them: batch
// by batch from the end, a run split across two batches joined again.
inline std::vector<OsdRange> data_runs_of(OsdFile& file) {
    std::vector<OsdRange> runs;
    for (std::int64_t end = file.size; end > 0;) {
        OsdRangesBelow batch = osd_data_ranges_below(file, end);
        for (auto run = batch.ranges.rbegin(); run != batch.ranges.rend(); ++run) {
            if (!runs.empty() && runs.back().begin == run->end)
                runs.back().begin = run->begin;
            else
                runs.push_back(*run);
        }
        if (batch.from >= end) break;
        end = batch.from;
    }
    std::reverse(runs.begin(), runs.end());
    return runs;
}

// Whether files here get holes that the file layer can see: not every file
// system reports them (wine, for one, reports none).
inline bool holes_reported(const TempDir& dir) {
    const std::string probe = dir.file("hole-probe.bin");
    make_sparse(probe, std::uintmax_t{1} << 30);
    OsdFile file;
    if (osd_open(file, probe, OsdAccess::Read) != 0) return false;
    const std::vector<OsdRange> ranges = data_runs_of(file);
    return ranges.empty() || ranges.back().end < file.size;
}
