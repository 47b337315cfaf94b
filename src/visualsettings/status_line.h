// A status text that more than one thread writes or reads (the render
// thread, the script fiber, the runtime-table locator thread): every access
// takes its lock, so a reader never sees a text half replaced.
#pragma once
#include <mutex>
#include <string>

namespace visualsettings {

struct StatusLine {
    explicit StatusLine(std::string initial) : text(std::move(initial)), initialText(text) {}
    mutable std::mutex mutex;
    std::string text;
    const std::string initialText;
};

std::string StatusText(const StatusLine& line);
void SetStatus(StatusLine& line, std::string text);
// Back to the text it started with.
void ResetStatus(StatusLine& line);

}  // namespace visualsettings
