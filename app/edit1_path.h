// What the text of Edit1 means as a path.
#pragma once

#include <string>

// The path the commands act on: line breaks at the end (a path pasted from a
// terminal) dropped, and on Linux a leading "~" or "~/" taken as the home
// folder, as a shell does. Empty when Edit1 names nothing.
std::string path_from_edit1(std::string text);

// Keeps the exact bytes of a path the program put into Edit1 (a dropped name
// need not be valid UTF-8) beside the readable form the field shows, until
// the field's text is changed by anyone else.
class ExactPath {
public:
    // Remembers `path`; returns the text to show.
    std::string set(const std::string& path);
    // The exact bytes while the field still shows what set() returned,
    // otherwise the field's own text.
    std::string resolve(const std::string& shown) const;
    // The user edited the field: from now on its text is the path.
    void forget() { held_ = false; }

private:
    std::string exact_;
    std::string shown_;
    bool held_ = false;
};
