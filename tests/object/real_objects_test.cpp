#include "object/lwo_reader.h"

#include "support/capture_reporter.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace lwmd5 {
namespace {

using testing::CaptureReporter;
using Event = CaptureReporter::Event;

// Objects written by other tools. The expected figures were taken from the
// files with a separate chunk walk (point counts from PNTS lengths, polygon
// sizes from the POLS records, entries by walking each map's records).
struct MeshFigures {
    std::int32_t points;
    std::int32_t polygons;
    std::int32_t triangles; // after fan splitting
};

using MapFigures = std::pair<std::string, std::size_t>; // name, entries

struct RealObject {
    const char* file;
    std::vector<MeshFigures> meshes;
    std::vector<MapFigures> uvMaps;
    std::vector<MapFigures> weightMaps;
    std::vector<MapFigures> uvFixMaps;
    std::vector<std::string> surfaces;
    std::size_t messageBoxes; // "Check Geometry!", one per POLS chunk with a non-triangle
    std::vector<std::string> debugLines;
};

std::filesystem::path objectsDir()
{
    const std::filesystem::path root = testing::realDataDir();
    return root.empty() ? root : root / "objects";
}

std::vector<MapFigures> figures(const auto& maps)
{
    std::vector<MapFigures> result;
    for (const auto& map : maps) result.push_back({map.name, map.entries.size()});
    return result;
}

TEST(RealObjects, LoadWithTheirPointSetsMapsAndMessages)
{
    const std::filesystem::path dir = objectsDir();
    if (dir.empty()) GTEST_SKIP() << "../shared/realdata is not present beside the checkout";

    const RealObject objects[] = {
        {"cube_quads.lwo", {{8, 6, 12}}, {}, {}, {}, {"Default"}, 1, {"PTags: 24 - 6\n"}},
        {"ngon_143.lwo", {{133, 1, 141}}, {}, {}, {}, {"inc_hull"}, 1, {"PTags: 4 - 1\n"}},
        {"layers_and_weights.lwo",
         {{8, 6, 12}, {266, 288, 528}, {8, 6, 12}, {8, 6, 12}},
         {},
         {{"Weight=", 266}, {"Weight0", 266}},
         {},
         {"BoxOnLayer3", "Default", "RedBox"},
         4,
         {"PTags: 24 - 6\n", "Mesh: 2\tWs:266/266\n", "Mesh: 2\tWs:266/266\n", "PTags: 1152 - 288\n",
          "PTags: 24 - 6\n", "PTags: 24 - 6\n"}},
        {"two_layers_uv.lwo",
         {{798, 864, 1584}, {8, 6, 12}},
         {{"Texture", 8}},
         {},
         {},
         {"Back", "Bottom", "Default", "Front", "Left", "Right", "Top"},
         2,
         {"PTags: 3456 - 864\n", "Mesh: 2\tUVs:8/8\n", "PTags: 24 - 6\n"}},
        {"two_uv_maps_with_vmad.lwo",
         {{8, 6, 12}},
         {{"testUV0", 8}, {"testUV1", 8}},
         {},
         {{"testUV0", 2}, {"testUV1", 2}},
         {"Default"},
         1,
         {"Mesh: 1\tUVs:8/8\n", "Mesh: 1\tUVs:8/8\n", "PTags: 24 - 6\n", "Mesh: 1\tUVFIXs:2/2\n",
          "Mesh: 1\tUVFIXs:2/2\n"}},
        // RGB maps (VMAP and VMAD) are skipped; one 24-gon among triangles and quads.
        {"vertex_colors_24gon.lwo",
         {{1628, 1735, 3202}},
         {{"Texture", 266}},
         {},
         {},
         {"Default", "Default2", "Textured"},
         1,
         {"Mesh: 1\tUVs:266/266\n", "PTags: 6940 - 1735\n"}},
        // Only PTCH polygons: the point set stays without triangles.
        {"patches_only.lwo", {{26, 0, 0}}, {}, {}, {}, {"Default"}, 0, {"PTags: 96 - 24\n"}},
    };
    for (const RealObject& expected : objects) {
        SCOPED_TRACE(expected.file);
        LwoObject object;
        CaptureReporter report;
        ASSERT_TRUE(loadLwoObject((dir / expected.file).string(), object, report));
        EXPECT_EQ(report.count(Event::Error), 0u);
        EXPECT_EQ(report.count(Event::Warning), 0u);
        EXPECT_EQ(report.count(Event::MessageBox), expected.messageBoxes);
        for (const Event& e : report.events) {
            if (e.kind == Event::MessageBox) {
                EXPECT_EQ(e.title, "ERROR!!!");
                EXPECT_EQ(e.text, "Check Geometry! Only 3 verts per poly!");
            }
        }
        EXPECT_EQ(report.texts(Event::DebugLine), expected.debugLines);

        ASSERT_EQ(object.meshes.size(), expected.meshes.size());
        for (std::size_t m = 0; m < object.meshes.size(); ++m) {
            SCOPED_TRACE("mesh " + std::to_string(m));
            const LwoMesh& mesh = object.meshes[m];
            EXPECT_EQ(mesh.pointCount(), expected.meshes[m].points);
            EXPECT_EQ(mesh.polygonCount, expected.meshes[m].polygons);
            EXPECT_EQ(mesh.triangleCount(), expected.meshes[m].triangles);
            for (const auto& triangle : mesh.triangles) {
                for (const std::int32_t corner : triangle) {
                    ASSERT_GE(corner, 0);
                    ASSERT_LT(corner, mesh.pointCount());
                }
            }
        }
        EXPECT_EQ(figures(object.uvMaps), expected.uvMaps);
        EXPECT_EQ(figures(object.weightMaps), expected.weightMaps);
        EXPECT_EQ(figures(object.uvFixMaps), expected.uvFixMaps);
        std::vector<std::string> surfaces;
        for (const LwoSurface& s : object.surfaces) surfaces.push_back(s.name);
        EXPECT_EQ(surfaces, expected.surfaces);
    }
}

TEST(RealObjects, LongPolygonBecomesOneFanAroundItsFirstCorner)
{
    const std::filesystem::path dir = objectsDir();
    if (dir.empty()) GTEST_SKIP() << "../shared/realdata is not present beside the checkout";
    LwoObject object;
    CaptureReporter report;
    ASSERT_TRUE(loadLwoObject((dir / "ngon_143.lwo").string(), object, report));
    // The polygon's corners in the file are 68, 0, 1, 2, ..., 66, 67 (143 of them).
    const auto& triangles = object.meshes.at(0).triangles;
    ASSERT_EQ(triangles.size(), 141u);
    EXPECT_EQ(triangles.front(), (std::array<std::int32_t, 3>{68, 0, 1}));
    EXPECT_EQ(triangles.back(), (std::array<std::int32_t, 3>{68, 66, 67}));
    for (std::size_t k = 1; k < triangles.size(); ++k) {
        EXPECT_EQ(triangles[k][0], 68);
        EXPECT_EQ(triangles[k][1], triangles[k - 1][2]) << k;
    }
    EXPECT_EQ(object.meshes[0].polygonFirstTriangle, (std::vector<std::int32_t>{0, 141}));
}

TEST(RealObjects, UnusableFilesEndWithTheirMessage)
{
    const std::filesystem::path dir = objectsDir();
    if (dir.empty()) GTEST_SKIP() << "../shared/realdata is not present beside the checkout";
    {
        const std::string path = (dir / "lwob_form.lwo").string();
        LwoObject object;
        CaptureReporter report;
        EXPECT_FALSE(loadLwoObject(path, object, report));
        ASSERT_EQ(report.events.size(), 2u);
        EXPECT_EQ(report.events[0].kind, Event::MessageBox);
        EXPECT_EQ(report.events[0].title, "Whassuuup??");
        EXPECT_EQ(report.events[0].text, "Wrong File Format!");
        EXPECT_EQ(report.events[1].kind, Event::Error);
        EXPECT_EQ(report.events[1].text, path + ": form type LWOB is not LWO2 or LWO3; nothing was read");
        EXPECT_TRUE(object.meshes.empty());
    }
    {
        const std::string path = (dir / "empty.lwo").string();
        LwoObject object;
        CaptureReporter report;
        EXPECT_FALSE(loadLwoObject(path, object, report));
        ASSERT_EQ(report.events.size(), 1u);
        EXPECT_EQ(report.events[0].kind, Event::Error);
        EXPECT_EQ(report.events[0].text, path + ": the file is 0 bytes long, too short for a chunk header");
    }
}

} // namespace
} // namespace lwmd5
