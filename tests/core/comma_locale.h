// Switches the C library's numeric locale to one whose decimal point is a
// comma (as the game process may do) for the life of the object, building
// one with localedef into a temporary folder when the system has none.
#pragma once
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace coretest {

class CommaLocale {
public:
    CommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
            if (std::setlocale(LC_NUMERIC, name)) {
                active_ = true;
                return;
            }
        }
        // Build one: needs the C library's locale sources and localedef.
        char pattern[] = "/tmp/varnel-locale-XXXXXX";
        if (!mkdtemp(pattern)) return;
        folder_ = pattern;
        const std::string command = "localedef -i de_DE -f UTF-8 '" + folder_ + "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1) return;
        setenv("LOCPATH", folder_.c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, "C");
        if (!folder_.empty()) {
            unsetenv("LOCPATH");
            std::error_code ec;
            std::filesystem::remove_all(folder_, ec);
        }
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // True when the decimal point now really is a comma.
    bool Active() const { return active_ && std::localeconv()->decimal_point[0] == ','; }

private:
    bool active_ = false;
    std::string folder_;
};

}  // namespace coretest
