// Collects the file layer's trace lines while it lives.
#pragma once

#include <string>

#include "osd/osd.h"

class TraceCapture {
public:
    TraceCapture() {
        lines().clear();
        osd_set_trace_sink([](const std::string& line) { lines() += line; });
    }
    ~TraceCapture() { osd_set_trace_sink(&osd_trace_to_stdout); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string text() const { return lines(); }

private:
    static std::string& lines() {
        static std::string collected;
        return collected;
    }
};
