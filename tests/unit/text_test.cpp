#include "common/text.h"

#include <gtest/gtest.h>

using meshbridge::appendText;
using meshbridge::formatText;

TEST(FormatText, GrowsToFitLongTexts) {
    const std::string name(3000, 'x');
    const std::string line = formatText("SRF saved as:\n%s", name.c_str());
    EXPECT_EQ(line.size(), 14u + 3000u);
    EXPECT_EQ(line.substr(0, 14), "SRF saved as:\n");
}

TEST(AppendText, AppendsAtTheEnd) {
    std::string text = "a";
    appendText(text, "%d-%s", 7, "b");
    appendText(text, "%s", "");
    EXPECT_EQ(text, "a7-b");
}
