// Found by fuzzing the LWO2 reader: after a FACE POLS chunk that leaves its
// point set without triangles (every corner out of range, only lines and
// points, or no polygons at all), the next FACE POLS chunk of the same point
// set is read as well, and its polygons were appended to the polygon table of
// the first. The table then no longer matched polygonCount, and VMAD polygon
// indices landed on triangles of other polygons.

#include "app/pipelines.h"
#include "object/lwo_reader.h"

#include "lwo_builder.h"
#include "support/capture_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using lwmd5::testing::CaptureReporter;

TEST(FaceChunkRegression, PolygonTableMatchesTheFaceChunkThatCounts)
{
    const struct {
        std::string what;
        Bytes firstFaceChunk;
    } cases[] = {
        {"every corner out of range", polsChunk({{0, 1, 9}})},
        {"lines and points only", polsChunk({{0, 1}, {2}})},
        {"no polygons", polsChunk({})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes object = form("LWO2", {pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), c.firstFaceChunk,
                                           polsChunk({{0, 1, 2}}), uvMapChunk("uv", {{2, 0, 0}}),
                                           uvFixMapChunk("uv", {{2, 2, 0.5f, 0.5f}}), surfChunk("skin")});
        Scene scene;
        scene.bones.emplace_back();
        CaptureReporter report;
        EXPECT_TRUE(parseLwoObject(object, scene.object, report, "obj.lwo"));
        if (scene.object.meshes.size() != 1) {
            ADD_FAILURE() << scene.object.meshes.size() << " meshes";
            continue;
        }
        // Polygon k of the chunk that counts owns the triangles from entry k
        // to entry k + 1 of the table.
        const LwoMesh& mesh = scene.object.meshes.front();
        EXPECT_EQ(mesh.polygonFirstTriangle.size(), static_cast<std::size_t>(mesh.polygonCount) + 1);
        EXPECT_EQ(mesh.polygonFirstTriangle.empty() ? -1 : mesh.polygonFirstTriangle.back(), mesh.triangleCount());

        // Neither FACE chunk has a polygon 2, so the fix splits no vertex.
        convertMesh(scene, report);
        EXPECT_EQ(scene.outputMeshes.front().vertices.size(), 3u);
    }
}

} // namespace
} // namespace lwmd5
