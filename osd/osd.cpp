// The parts of the file layer that are the same on every platform.
#include <cstdio>

#include "osd/osd.h"

OsdFile::~OsdFile() { osd_close(*this); }

std::int64_t osd_filesize(const std::string& path) {
    std::printf("osd_filesize name-> %s\n", path.c_str());
    OsdFile file;
    if (osd_open(file, path, OsdAccess::Read) != 0) return -1;
    return file.size;
}
