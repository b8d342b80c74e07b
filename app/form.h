// The window logic's module-wide state: the one main window, the output size
// and where it came from, and the folder chooser's starting folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "osd/osd.h"
#include "size/padding_kernel.h"

class View;

// The one main window while the event loop runs; null before and after.
extern View* Form1;

// The byte count Execute gives the file; written by the calculator and the
// scan. nullopt when unknown: a calculator total out of range, or a failed
// scan.
extern std::optional<std::int64_t> OutputSize;

// The file a scan measured, while OutputSize still comes from that scan: its
// path, the padding byte counted, and the file's identity and state as the
// scan began. Execute cuts that file only, and only while it is unchanged.
struct ScannedFile {
    std::string path;
    PadBytes pad;
    OsdFileState measured;
};
extern std::optional<ScannedFile> OutputSizeOrigin;

// The folder the chooser opens on; set by browse_for_folder.
extern std::string InitialFolder;
