// Giving a file an exact length: cut, extend with zero bytes, or create it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "osd/osd.h"

struct SetLengthOptions {
    // Create the file when it does not exist.
    bool allowCreate = true;
    // Refuse (SizeChanged) unless the existing file still has this length:
    // a size measured on the file must not be applied to a changed one.
    std::optional<std::int64_t> expectedSize;
};

struct SetLengthResult {
    enum class Status { Ok, InvalidSize, CannotOpen, CannotCreate, CannotSetEnd, SizeChanged };
    Status status = Status::Ok;
    bool created = false;
    std::int64_t oldSize = -1;  // -1 when the file was created
    OsdError error = OsdError::None;

    bool ok() const { return status == Status::Ok; }
};

// Gives the file at `path` the length `target`. The bytes below the old end
// never change; bytes added above it read as zero (sparse where the file
// system allows).
// - A negative target is refused before anything is opened.
// - An existing file is never truncated by a create: a file that appears
//   between the existence test and the create is opened instead.
// - When a file this call created cannot get its length, it is removed
//   again, so a failure leaves nothing behind.
SetLengthResult set_file_length(const std::string& path, std::int64_t target, const SetLengthOptions& options = {});
