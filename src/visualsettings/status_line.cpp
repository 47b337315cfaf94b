#include "visualsettings/status_line.h"

namespace visualsettings {

std::string StatusText(const StatusLine& line) {
    std::lock_guard<std::mutex> lock(line.mutex);
    return line.text;
}

void SetStatus(StatusLine& line, std::string text) {
    std::lock_guard<std::mutex> lock(line.mutex);
    line.text = std::move(text);
}

void ResetStatus(StatusLine& line) { SetStatus(line, line.initialText); }

}  // namespace visualsettings
