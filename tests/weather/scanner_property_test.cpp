// Properties that must hold for any input, checked over generated documents,
// their hostile variants and cuts (random inputs are the fuzz target's): every
// record's offsets select exactly its text, records never overlap, paths are
// unique, and splicing any subset of edits changes exactly those ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/weather_fixture.h"
#include "weather/weather_xml_model.h"

namespace {

using namespace weather;
using testsupport::NamedText;
using weathertest::CheckedRecords;
using weathertest::Spliced;

// The unedited text, then rounds of random edits: the writer changes
// exactly the edited ranges and counts them.
void CheckSplices(const std::string& source, const std::vector<XmlValueRecord>& records, uint64_t seed) {
    testsupport::TestRandom random(seed);
    WeatherDocument document{"watertune.xml", "Watertune", "Water"};
    document.sourceText = source;
    for (int round = 0; round < 5; ++round) {
        document.values = records;
        size_t edited = 0;
        for (XmlValueRecord& r : document.values) {
            if (round == 0 || random.Below(3) != 0) continue;
            r.currentText = std::to_string(random.Below(100000)) + (random.Below(2) ? ".5" : "");
            edited += r.currentText != r.originalText;
        }
        std::string out;
        uint64_t count = 0;
        WriteMiscXml(out, document, count);
        EXPECT_EQ(count, edited);
        EXPECT_TRUE(out == Spliced(source, CheckedRecords(source, document.values))) << "round " << round;
    }
}

void CheckDocument(const NamedText& doc, uint64_t seed) {
    SCOPED_TRACE(doc.name);
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    const bool found = ScanXmlValues(doc.text, records, warnings);
    EXPECT_EQ(found, !records.empty());
    std::vector<std::string> paths;
    for (const XmlValueRecord& r : records) {
        paths.push_back(r.path);
        EXPECT_EQ(r.currentText, r.originalText);
        EXPECT_LE(r.kind, kXmlValueText);
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(std::adjacent_find(paths.begin(), paths.end()), paths.end()) << "paths must be unique";
    CheckSplices(doc.text, records, seed);
    // The weather.xml model over the same text keeps the same guarantees.
    FilterWeatherXmlLiveValues(doc.text, records, warnings);
    CheckSplices(doc.text, records, seed + 1);
}

std::vector<NamedText> BaseDocuments() {
    std::vector<NamedText> docs;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        testsupport::WeatherXmlOptions options;
        options.seed = seed;
        options.lineEnding = static_cast<testsupport::LineEnding>(seed % 4);
        options.bom = seed == 2;
        docs.push_back({"weather_" + std::to_string(seed), testsupport::GenerateWeatherXml(options)});
        docs.push_back({"render_" + std::to_string(seed),
                        testsupport::GenerateRenderDocument(seed, testsupport::LineEnding::Mixed, seed == 3)});
    }
    docs.push_back({"arrays", "<R><F content=\"float_array\">\n 1.0 -2 3e1\r\n .5</F><I content=\"int_array\">1 2 3</I>"
                              "<F content=\"float_array\">4 5</F><F value=\"6\"/></R>"});
    return docs;
}

// The generated documents, their hostile variants and cuts at every class of
// offset, then cuts at every offset of a small document holding each construct.
TEST(ScannerProperties, GeneratedHostileAndTruncatedDocuments) {
    uint64_t seed = 1;
    for (const NamedText& base : BaseDocuments()) {
        CheckDocument(base, seed++);
        for (const NamedText& variant : testsupport::HostileVariants(base.text, static_cast<uint32_t>(seed)))
            CheckDocument({base.name + "/" + variant.name, variant.text}, seed++);
        for (const size_t cut : testsupport::TruncationOffsetsByClass(base.text))
            CheckDocument({base.name + " cut at " + std::to_string(cut), base.text.substr(0, cut)}, seed++);
    }
    const std::string small =
        "<?xml version=\"1.0\"?>\r\n<!-- c > d --><R a='1'>\n <Item value=\"0x1F\"/><B x=\"1\" y='true'>"
        "<F content=\"float_array\">1 2</F></B><![CDATA[x]]><Item><C value=\"-3\" /></Item></R>";
    for (size_t cut = 0; cut <= small.size(); ++cut) CheckDocument({"cut " + std::to_string(cut), small.substr(0, cut)}, cut);
}

TEST(ScannerProperties, DeepNestingAndManyUnclosedArrays) {
    // Nesting: paths grow with depth, so the scan stops (with a warning) once
    // a path would pass its limit instead of growing without bound.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<Item value=\"1\">";
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    EXPECT_TRUE(ScanXmlValues(deep, records, warnings));
    EXPECT_EQ(records.size(), kMaxValuePathLength / 8);  // "Item[1]/" per level
    EXPECT_EQ(warnings, 1u);
    EXPECT_EQ(records[2].path, "Item[1]/Item[1]/Item[1]");
    // Many values: the scan stops at its record limit.
    std::string many = "<A";
    for (size_t i = 0; i < kMaxScanRecords + 10; ++i) many += " x=''";
    many += "/>";
    EXPECT_TRUE(ScanXmlValues(many, records, warnings));
    EXPECT_EQ(records.size(), kMaxScanRecords);
    EXPECT_EQ(warnings, 1u);
    // Array elements without end tags stay linear: each stops where its numbers stop.
    std::string arrays;
    for (int i = 0; i < 50000; ++i) arrays += "<F content=\"float_array\">1 2 ";
    EXPECT_FALSE(ScanXmlValues(arrays, records, warnings));
}

}  // namespace
