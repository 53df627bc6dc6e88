#include "scene/scene_reader.h"
#include "scene/text_scan.h"

#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

namespace lwmd5 {
namespace {

using lwmd5::testing::CaptureReporter;

// Nine channels, channel c holding one key of value base + c and an empty behaviour line; `first` replaces
// channel 0 when given. Lines end with '|', which summary() reads as CR LF.
std::string block(int base = 0, const std::string& first = "")
{
    std::string text = first;
    for (int c = first.empty() ? 0 : 1; c < 9; ++c) text += "Channel|{|  1|  Key " + std::to_string(base + c) + "||}|";
    return text;
}

constexpr auto word = authoring::formatNumber; // numbers in their shortest spelling that reads back exactly

// Reads `lines`, each ended by '|' read as CR LF (as LightWave writes them), and returns what the reader filled
// in, leaving out what stayed 0 or empty: frames (first, last, rate), then per bone its name, parent,
// channels, rest (position, direction) and weight map, then per null object its name, parent and
// channels, then the messages. A channel is "-" without keys, else its key values joined by '/', each followed by
// "(" and its other nine fields when one is not 0, then "@" and its behaviours when one is not 0.
std::string summary(const std::string& lines, SceneFlavour flavour = SceneFlavour::Full)
{
    std::string text;
    for (const char c : lines) text += c == '|' ? std::string("\r\n") : std::string(1, c);
    CaptureReporter report;
    const Scene s = parseScene(text, flavour, report, "case.lws");
    std::ostringstream out;
    const auto put = [](std::ostream& to, const char* label, auto... values) {
        const char* separator = label;
        if (((values != 0) || ...)) ((to << separator << word(static_cast<float>(values)), separator = ","), ...);
    };
    const auto item = [&](const char* kind, const std::string& name, std::uint32_t parent, const Channels& channels) {
        out << ' ' << kind << '[' << name << ']';
        if (parent != 0) out << " p=" << std::hex << parent << std::dec;
        std::ostringstream words;
        for (const Envelope& e : channels) {
            words << (e.keys.empty() ? " -" : " ");
            for (const EnvelopeKey& k : e.keys) {
                words << (&k == &e.keys[0] ? "" : "/") << word(k.value);
                put(words, "(", k.time, k.shape, k.tension, k.continuity, k.bias, k.params[0], k.params[1],
                    k.params[2], k.params[3]);
            }
            put(words, "@", e.preBehavior, e.postBehavior);
            EXPECT_LE(e.keys.capacity(), text.size()); // memory for keys never more than the text can back
        }
        if (words.str() != " - - - - - - - - -") out << " ch" << words.str();
    };
    put(out, " frames ", s.firstFrame, s.lastFrame, s.framesPerSecond);
    for (const Bone& b : s.bones) {
        item("bone", b.name, b.parentItem, b.channels);
        put(out, " rest=", b.restPosition.x, b.restPosition.y, b.restPosition.z, b.restDirection.x, b.restDirection.y,
            b.restDirection.z);
        if (!b.weightMapName.empty()) out << " w[" << b.weightMapName << ']';
    }
    for (const NullObject& n : s.nullObjects) item("null", n.name, n.parentItem, n.channels);
    for (const CaptureReporter::Event& e : report.events) out << (e.kind == e.Warning ? " warning" : " other event");
    return out.str();
}

TEST(SceneReader, KeywordsParentSlotsLineEndsAndChannelBlocks)
{
    const std::string items = "PreviewFirstFrame 2|AddBone|BoneName root|NumChannels 9|" + block() +
                              "AddNullObject 1 N|NumChannels 9|" + block(10) + "ParentItem 40000000|";
    // The bones-only reader knows no null objects, channel blocks or frames: the bone's slot is still pending.
    EXPECT_EQ(summary(items, SceneFlavour::BonesOnly), " bone[root] p=40000000");
    const std::string bone = "AddBone|NumChannels 3|";
    const std::pair<std::string, std::string> cases[] = {
        {items, " frames 2,0,0 bone[root] ch 0 1 2 3 4 5 6 7 8 null[1 N] p=40000000 ch 10 11 12 13 14 15 16 17 18"},
        // Only the first ParentItem after an item counts, an unreadable one too, and one without a value not at all;
        // ids are read as "%8X". A bone without its own ParentItem takes the next one, here a light's.
        {"ParentItem 40010000|AddBone|ParentItem 4001000A|ParentItem 40020000|AddBone|ParentItem xyz|ParentItem 1|"
         "AddBone|ParentItem|ParentItem 123456789|AddBone|ParentItem  4001000g|AddBone|AddLight|ParentItem 10000000|",
         " bone[] p=4001000a bone[] bone[] p=12345678 bone[] p=4001000 bone[] p=10000000"},
        {"PreviewFirstFrame -5|PreviewLastFrame 12abc|PreviewFrameStep 2|FramesPerSecond 29.97|", " frames -5,12,29"},
        // A partial parse leaves the fields after it as they were.
        {"BoneName early|BoneRestPosition 9 9 9|AddBone 40000000|BoneName Upper Arm L|BoneRestPosition 1 2 3|"
         "BoneRestPosition 4 x 6|BoneRestDirection 10 20.5|BoneRestLength 2.5cm|BoneWeightMapName  w map |"
         "AddNullObject|AddNullObject 2 N|BoneRestLength -|",
         " bone[Upper Arm L] rest=4,2,3,10,20.5,0 w[ w map ] null[2 N]"},
        {" AddBone|addbone|AddBone\t1|BoneName\tx|FramesPerSecond\t3| FramesPerSecond 3|", ""},
        // Without a carriage return in the file a line feed ends a line; with one, a carriage return alone or
        // followed by a line feed does, and a lone line feed is text. Text after the last line end is not read.
        {"AddBone\nBoneName B\n\nBoneWeightMapName 4\nBoneName 5", " bone[B] w[4]"},
        {"AddBone\rBoneName B\nC|BoneWeightMapName w\n|FramesPerSecond 30\nPreviewLastFrame 5|BoneName X",
         " frames 0,0,30 bone[B\nC] w[w\n]"},
        // Nine channels whatever NumChannels says, read without looking for keywords.
        {bone + block(0, "AddBone|FramesPerSecond 9|  0|  Behaviors 1 1|}|") + "FramesPerSecond 2|ParentItem 4000000a|",
         " frames 0,0,2 bone[] p=4000000a ch -@1,1 1 2 3 4 5 6 7 8"},
        // Numbers from fixed columns: the seventh character of a key line, the thirteenth of a behaviour line.
        {bone + block(0, "||  4 keys|  Key 1.5 2 3 0.25 -0.5 0.75 4 5 6| Key 7 8 1 0 0 0 0 0 0|  Ke|  Key 1 2 3.5 4 5|"
                         " Behaviors 12 4|}|"),
         " bone[] ch 1.5(2,3,0.25,-0.5,0.75,4,5,6,0/8(1,0,0,0,0,0,0,0,0/0/1(2,3,0.5,4,5,0,0,0,0@2,4 1 2 3 4 5 6 7 8"},
        {bone + block(0, "||  -3|  Behaviors 2 3|}|") + bone + block(0, "||  x|  Behaviors 3||"),
         " bone[] ch -@2,3 1 2 3 4 5 6 7 8 bone[] ch -@3,0 1 2 3 4 5 6 7 8"},
        // Blocks without a current item are skipped line by line.
        {"NumChannels 9|" + block(20) + bone + block() + "NumChannels 9|" + block(10), " bone[] ch 0 1 2 3 4 5 6 7 8"},
        // A file that ends inside a block keeps the keys read, with a warning, whatever the key count claims.
        {"AddBone|NumChannels 9|||  1|  Key 9 0 0 0 0 0 0 0 0|  Behaviors 2 2|}|||  2000000000|  Key 1 0 0 0 0 0 0 0 0|"
         "  Key 2 0 0 0 0 0 0 0 0|",
         " bone[] ch 9@2,2 1/2 - - - - - - - warning"},
    };
    for (const auto& [lines, expected] : cases) EXPECT_EQ(summary(lines), expected) << lines;
}

// The conversions on lines of up to a dozen fields of digits with odd spellings among them, glued by random
// separators. The three-float and two-integer scans are the key scan's fields in other numbers; the table above
// shows them at work.
TEST(TextScan, ConversionsEqualTheCLibrary)
{
    static const char* const odd[] = {
        "inf", "-INF", "nan", "NaN(12)", "0x1p3", "0X1.8p-2", "0x", "-0x1A", "0xg", "1e39", "3.4028235e38", "1e-40",
        "7e-46", "340282356779733661637539395458142568448", "2147483648", "-2147483649", "1e+", "+.", "+-1", "..5"};
    static const char* const glue[] = {" ", " ", " ", " ", "  ", "\t", "\n", "\v\f", ",", "x", "e", ""};
    std::mt19937 random(20240611);
    const auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const EnvelopeKey sentinel{-1.5f, -1.5f, -7, -1.5f, -1.5f, -1.5f, {-1.5f, -1.5f, -1.5f, 0.0f}};
    for (int i = 0; i < 80000; ++i) {
        const std::string chars = i % 2 == 1 ? "0123456789abcdefABCDEF-+" : "01234567890123456789.e-+";
        std::string line;
        for (std::size_t field = pick(12); field > 0; --field) {
            if (pick(5) == 0) line += odd[pick(std::size(odd))];
            for (std::size_t n = pick(pick(4) == 0 ? 25 : 6); n > 0; --n) line += chars[pick(chars.size())];
            line += glue[pick(std::size(glue))];
        }
        SCOPED_TRACE('"' + line + '"');
        // Each view ends where more digits follow, as a line inside the file's text does.
        const std::string buffer = line + "7.5f";
        const std::string_view view = std::string_view(buffer).substr(0, line.size());
        EnvelopeKey k[2] = {sentinel, sentinel};
        const int wanted = std::sscanf(line.c_str(), "%f %f %d %f %f %f %f %f %f", &k[1].value, &k[1].time, &k[1].shape,
                                       &k[1].tension, &k[1].continuity, &k[1].bias, &k[1].params[0], &k[1].params[1],
                                       &k[1].params[2]);
        ASSERT_EQ(scanKeyFields(view, k[0]), std::max(0, wanted));
        ASSERT_EQ(std::memcmp(&k[0], &k[1], sizeof k[0]), 0);
        ASSERT_EQ(leadingInteger(view), std::clamp<long>(std::strtol(line.c_str(), nullptr, 10), INT_MIN, INT_MAX));
        std::uint32_t hex[2] = {0xDEADBEEFu, 0xDEADBEEFu};
        ASSERT_EQ(scanHex8(view, hex[0]), std::max(0, std::sscanf(line.c_str(), "%8X", &hex[1])));
        ASSERT_EQ(hex[0], hex[1]);
    }
}

// A scene written by another tool, with LF line ends and nine null objects.
TEST(RealScenes, NullObjectsWithTheirParentsAndChannels)
{
    const std::filesystem::path data = lwmd5::testing::realDataDir();
    if (data.empty()) GTEST_SKIP() << "../shared/realdata is absent; real scenes not tested";
    CaptureReporter report;
    const std::optional<Scene> read = readScene((data / "scenes" / "nulls_quickdraw_v3.lws").string(), report, 1);
    ASSERT_TRUE(read);
    const Scene& scene = *read;
    // Per null object: its parent, the keys of its channel 1 (y) and the first one's value. The MASTER handle has
    // no ParentItem before the next null object; the file's last ParentItem belongs to an object layer.
    std::ostringstream nulls;
    for (const NullObject& n : scene.nullObjects) {
        nulls << std::hex << n.parentItem << std::dec << ':' << n.channels[1].keys.size() << ':'
              << word(n.channels[1].keys.at(0).value) << ' ';
    }
    EXPECT_EQ(nulls.str(), "10000003:2:1.92 10000009:2:3.329999 10000008:2:3.56 10000006:2:3.999999 0:1:0 "
                           "1000000e:1:1.92 1000000e:1:3.329999 1000000e:2:3.56 1000000e:1:3.999999 ");
    const EnvelopeKey& moved = scene.nullObjects.at(7).channels[1].keys.at(1);
    EXPECT_EQ(std::tuple(moved.value, moved.time, moved.params[0]), std::tuple(8.4000015f, 1.0f, 4.8386574f));
}

} // namespace
} // namespace lwmd5
