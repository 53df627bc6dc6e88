#include "object/lwo_reader.h"
#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/md5_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

const char kBox[] = "meshconv: ERROR!!!: Check Geometry! Only 3 verts per poly!";

// Two bones of our own; their weight maps are the two that
// layers_and_weights.lwo holds in its second layer.
std::string rigScene()
{
    BoneSpec root{"root", "Weight0", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, restChannels()};
    BoneSpec arm{"arm", "Weight=", {0, 0, 0.5f}, {0, 0, 30}, 1.0f, 0, restChannels(0, 0, 0.5f)};
    return SceneTextBuilder().header(0, 1, 30, "object.lwo").bone(root).bone(arm).text();
}

// The largest distance between a vertex rebuilt from the md5mesh and the
// object point it stands for, over the first point set's points and every
// triangle corner, relative to the object's size.
double rebuildError(const Md5MeshFile& md5, const LwoMesh& source)
{
    const Md5FileMesh& mesh = md5.meshes.at(0);
    const std::vector<Md5Vec> rebuilt = skinVertices(mesh, bindPose(md5));
    auto point = [&](std::size_t p) {
        const auto& q = source.points.at(p);
        return Md5Vec{q[0], q[2], q[1]};
    };
    auto gap = [](const Md5Vec& a, const Md5Vec& b) {
        return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
    };
    Md5Vec lo{1e30, 1e30, 1e30};
    Md5Vec hi{-1e30, -1e30, -1e30};
    double worst = 0.0;
    for (std::size_t p = 0; p < source.points.size(); ++p) {
        const Md5Vec v = point(p);
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        worst = std::max(worst, gap(rebuilt.at(p), v));
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        for (std::size_t c = 0; c < 3; ++c) {
            const Md5Vec v = point(static_cast<std::size_t>(source.triangles.at(t)[c]));
            worst = std::max(worst, gap(rebuilt.at(static_cast<std::size_t>(mesh.triangles[t][c])), v));
        }
    }
    const double size = source.points.empty() ? 0.0 : gap(lo, hi);
    return size > 0.0 ? worst / size : worst;
}

TEST(MeshconvRealObjects, EachConvertsOrEndsWithItsMessage)
{
    if (realDataDir().empty()) GTEST_SKIP() << "../shared/realdata is not beside the checkout";
    struct Case {
        const char* file;
        int status;
        int boxes;                      // "Check Geometry!" boxes: POLS chunks holding n-gons
        std::vector<std::string> lines; // words the other program lines name, in order
        int triangles;                  // fan triangles of the first layer; -1: no output
    };
    const std::vector<Case> cases = {
        {"cube_quads.lwo", 0, 1, {"no UV map"}, 12},   // 6 quads
        {"ngon_143.lwo", 0, 1, {"no UV map"}, 141},    // one 143-gon
        // Four layers, each with its boxes; the weight maps come after the
        // second point set and reach past the first one's 8 points.
        {"layers_and_weights.lwo", 0, 4, {"no UV map", "weight map 'Weight='", "weight map 'Weight0'"}, 12},
        // The UV map of the second layer (8 entries) lands on the first 8 points.
        {"two_layers_uv.lwo", 0, 2, {}, 1584},
        {"two_uv_maps_with_vmad.lwo", 0, 1, {}, 12},
        {"vertex_colors_24gon.lwo", 0, 1, {}, 3202},   // RGB maps skipped
        // Patches only: the points convert, with no triangles, as decided.
        {"patches_only.lwo", 0, 0, {"no triangles", "no UV map"}, 0},
        {"lwob_form.lwo", 1, 0, {"Whassuuup??: Wrong File Format!", "form type LWOB is not LWO2"}, -1},
        {"empty.lwo", 1, 0, {"0 bytes long"}, -1},
    };
    std::size_t seen = 0;
    for (const auto& entry : fs::directory_iterator(realDataDir() / "objects")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".lwo" || name == "lwo3_box_uv.lwo") continue; // LWO3: its own tests
        SCOPED_TRACE(name);
        const auto c = std::find_if(cases.begin(), cases.end(), [&](const Case& k) { return name == k.file; });
        ASSERT_NE(c, cases.end()) << "an object without an expectation";
        ++seen;
#ifdef _WIN32
        if (c->boxes > 0 || c->status != 0) continue; // a message box would wait for a click
#endif
        TempDir dir;
        dir.write("rig.lws", rigScene());
        fs::copy_file(entry.path(), dir / "object.lwo");
        const ProgramResult run = runProgram(meshconvPath(), {"rig.lws", "object.lwo"}, dir.path(), "meshconv");
        EXPECT_EQ(run.exitStatus, c->status) << run.err;
        EXPECT_EQ(run.signal, 0);

        int boxes = 0;
        std::vector<std::string> lines;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);) {
            if (line == kBox) {
                ++boxes;
            } else if (line.rfind("meshconv: ", 0) == 0) {
                lines.push_back(line);
            }
        }
        EXPECT_EQ(boxes, c->boxes);
        ASSERT_EQ(lines.size(), c->lines.size()) << run.err;
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_NE(lines[i].find(c->lines[i]), std::string::npos) << lines[i];
        if (c->triangles < 0) {
            EXPECT_FALSE(fs::exists(dir / "rig.md5mesh"));
            continue;
        }

        Md5MeshFile md5;
        std::string error;
        ASSERT_TRUE(readMd5Mesh(readFile(dir / "rig.md5mesh"), md5, error)) << error;
        EXPECT_EQ(md5.meshes.at(0).triangles.size(), static_cast<std::size_t>(c->triangles));
        const std::string bytes = readFile(entry.path());
        LwoObject object;
        CaptureReporter report;
        ASSERT_TRUE(parseLwoObject({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, object, report,
                                   name));
        EXPECT_LT(rebuildError(md5, object.meshes.at(0)), 1e-4);
    }
    EXPECT_EQ(seen, cases.size());
}

} // namespace
} // namespace lwmd5
