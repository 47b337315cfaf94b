// A fake drive with the editor's folders as at process start and every
// weather document unloaded, before and after each test; and the checks every
// scan of a text must pass.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/core_fixture.h"
#include "weather/weather_documents.h"

namespace weathertest {

class WeatherDocsTest : public coretest::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        weather::ReleaseWeatherDocuments();
    }
    void TearDown() override {
        weather::ReleaseWeatherDocuments();
        CoreTest::TearDown();
    }
};

// Checks that each record's offsets select exactly its original text and
// that no two records overlap; returns the records sorted by start.
inline std::vector<const weather::XmlValueRecord*> CheckedRecords(std::string_view source,
                                                                  const std::vector<weather::XmlValueRecord>& records) {
    std::vector<const weather::XmlValueRecord*> sorted;
    for (const weather::XmlValueRecord& r : records) {
        EXPECT_TRUE(r.startOffset <= r.endOffset && r.endOffset <= source.size()) << r.path;
        if (r.endOffset > source.size() || r.startOffset > r.endOffset) continue;
        EXPECT_EQ(source.substr(r.startOffset, r.endOffset - r.startOffset), r.originalText) << r.path;
        sorted.push_back(&r);
    }
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->startOffset < b->startOffset; });
    for (size_t i = 1; i < sorted.size(); ++i)
        EXPECT_GE(sorted[i]->startOffset, sorted[i - 1]->endOffset) << sorted[i]->path << " overlaps";
    return sorted;
}

// The source with the current text of each record (sorted by start, none
// overlapping) in place of its range.
inline std::string Spliced(std::string_view source, const std::vector<const weather::XmlValueRecord*>& sorted) {
    std::string text;
    size_t cursor = 0;
    for (const weather::XmlValueRecord* r : sorted) {
        text.append(source, cursor, r->startOffset - cursor);
        text += r->currentText;
        cursor = r->endOffset;
    }
    text.append(source, cursor, std::string_view::npos);
    return text;
}

}  // namespace weathertest
