// Each module of the UI keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "ui/fonts.h"

namespace {

TEST(UiStateReset, Fonts) {
    static char font = 0;  // never dereferenced
    ui::Fonts.MainFont = reinterpret_cast<ImFont*>(&font);
    ui::Fonts.HeaderFont = reinterpret_cast<ImFont*>(&font);
    ui::ResetFontsState();
    EXPECT_EQ(ui::Fonts.MainFont, nullptr);
    EXPECT_EQ(ui::Fonts.HeaderFont, nullptr);
    EXPECT_EQ(ui::CurrentHeaderFont(), nullptr);
}

}  // namespace
