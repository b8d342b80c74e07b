#include "size/set_length.h"

namespace {

using Status = SetLengthResult::Status;

// Opens the file for reading and writing, or creates it.
Status open_or_create(OsdFile& file, const std::string& path, bool allowCreate, bool& created) {
    if (allowCreate && !osd_exists(path)) {
        if (osd_create(file, path) == 0) {
            created = true;
            return Status::Ok;
        }
        if (file.error != OsdError::AlreadyExists) return Status::CannotCreate;
    }
    return osd_open(file, path, OsdAccess::ReadWrite) == 0 ? Status::Ok : Status::CannotOpen;
}

}  // namespace

SetLengthResult set_file_length(const std::string& path, std::int64_t target, const SetLengthOptions& options) {
    SetLengthResult result;
    // A negative size must never reach the file: a failed seek would leave
    // the pointer at 0 and empty it.
    if (target < 0) {
        result.status = Status::InvalidSize;
        return result;
    }

    OsdFile file;
    result.status = open_or_create(file, path, options.allowCreate, result.created);
    if (!result.ok()) {
        result.error = file.error;
        return result;
    }
    if (!result.created) {
        result.oldSize = file.size;
        if (options.expectedSize && *options.expectedSize != file.size) {
            result.status = Status::SizeChanged;
            return result;
        }
    }

    if (target > (result.created ? 0 : file.size)) osd_allow_holes(file);
    if (osd_seek(file, target, OsdOrigin::Begin) != target || osd_seteof(file) != 0) {
        result.status = Status::CannotSetEnd;
        result.error = file.error;
        osd_close(file);
        // Only the file this call created itself.
        if (result.created) (void)osd_remove(path);
        return result;
    }
    if (osd_close(file) != 0) {
        result.status = Status::CannotSetEnd;
        result.error = OsdError::WriteFailed;
    }
    return result;
}
