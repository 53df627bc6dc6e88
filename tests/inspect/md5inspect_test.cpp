// md5inspect run as a program: its command line, its statuses, the bounds
// reading of a rig converted by the converters, and the picture, read back
// pixel by pixel.

#include "inspect/inspection.h"
#include "inspect/report.h"
#include "lwo_builder.h"
#include "md5/md5_pose.h"
#include "md5/md5_text.h"
#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef LWMD5_HAVE_CAIRO
#include "inspect/picture.h"

#include <cairo.h>
#endif

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

fs::path example(const char* name)
{
    return sourceDir() / "examples" / name;
}

TEST(Md5inspect, AnswersEachCommandLineWithItsStatus)
{
    const TempDir dir;
    std::string broken = readFile(example("character.md5anim"));
    broken.replace(broken.find("frame 2 {"), 9, "frame 2 (");
    dir.write("broken.md5anim", broken);
    std::string skipped = readFile(example("character.md5anim"));
    skipped.replace(skipped.find("frame 2 {"), 9, "frame 3 {");
    dir.write("skipped.md5anim", skipped);
    const std::string mesh = example("character.md5mesh").string();
    const std::string anim = example("character.md5anim").string();
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string out; // a piece of stdout
        std::string err; // all of stderr
    } cases[] = {
        {{}, 2, "", "md5inspect: no model file given (--help shows the usage)\n"},
        {{mesh, "--engine", "quake"}, 2, "", "md5inspect: option '--engine' takes doom3 or bfg, not 'quake'\n"},
        {{mesh, "--frames", "0"}, 2, "", "md5inspect: option '--frames' takes a whole number from 1 to 64, not '0'\n"},
        {{mesh, "--frames=8x"}, 2, "", "md5inspect: option '--frames' takes a whole number from 1 to 64, not '8x'\n"},
        {{mesh, "--colour"}, 2, "", "md5inspect: unknown option '--colour' (--help lists the options)\n"},
        {{"--help"}, 0, "  --engine doom3|bfg  doom3: all id Tech 4 refuses is an error", ""},
        {{"--help"}, 0, "\nexit status:\n  0  no error (warnings do not count)\n  1  at least one error\n", ""},
        {{"--version"}, 0, "md5inspect 0.2.0\n", ""},
        {{"missing.md5mesh"}, 1, "missing.md5mesh: not read",
         "md5inspect: cannot open 'missing.md5mesh': No such file or directory\n"},
        {{mesh, "broken.md5anim", anim}, 1, "broken.md5anim: not read (see the error above)\n\n" + anim,
         "md5inspect: broken.md5anim:137: expected '{' but found '('\n"},
        {{mesh, anim, "--engine", "bfg"}, 0, "\n0 errors, 0 warnings\n", ""},
        // Warnings leave the status at 0; the same finding as an error sets it to 1.
        {{mesh, "skipped.md5anim"}, 0, "  warning: skipped.md5anim:137: frame 2 is numbered 3 [frame-numbers]\n", ""},
        {{mesh, "skipped.md5anim", "--engine", "doom3"}, 1, "\n1 error, 0 warnings\n", ""},
    };
    for (const auto& c : cases) {
        const ProgramResult run = runProgram(md5inspectPath(), c.arguments, dir.path(), "md5inspect");
        const std::string line = c.arguments.empty() ? "(none)" : c.arguments.back();
        EXPECT_EQ(run.exitStatus, c.status) << line;
        EXPECT_NE(run.out.find(platformText(c.out)), std::string::npos) << line << "\n" << run.out;
        EXPECT_EQ(run.err, platformText(c.err)) << line;
    }
}

// A cube (1 unit, standing on the origin) under one root bone whose x moves
// from 0 to 1 over frames 0 to 8, converted by the converters as they are or
// with the options given.
struct MovingCube {
    TempDir dir;

    explicit MovingCube(const std::vector<std::string>& options = {})
    {
        BoneSpec root{.name = "root", .weightMapName = "root"};
        root.channels[0].keys = {KeySpec{0.0f, 0.0f, 3}, KeySpec{1.0f, 1.0f, 3}};
        dir.write("cube.lws", SceneTextBuilder().header(0, 8, 8, "cube.lwo").bone(root).text());
        std::vector<WeightEntry> weights;
        for (std::uint32_t p = 0; p < 8; ++p) weights.push_back({p, 1.0f});
        dir.write("cube.lwo",
                  form("LWO2", {pntsChunk({{-0.5f, 0, -0.5f}, {0.5f, 0, -0.5f}, {0.5f, 1, -0.5f}, {-0.5f, 1, -0.5f},
                                           {-0.5f, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, 1, 0.5f}, {-0.5f, 1, 0.5f}}),
                                polsChunk({{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 0, 3, 7}, {1, 5, 6, 2}, {3, 2, 6, 7},
                                           {4, 5, 1, 0}}),
                                weightMapChunk("root", weights), surfChunk("cube")}));
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"cube.lws", "cube.lwo"});
        for (const fs::path& program : {meshconvPath(), animconvPath()}) {
            const ProgramResult run = runProgram(program, arguments, dir.path(), "x");
            EXPECT_EQ(run.exitStatus, 0) << run.err;
        }
    }

    std::string mesh() const { return (dir / "cube.md5mesh").string(); }
    std::string anim() const { return (dir / "cube.md5anim").string(); }
};

// The converters write each frame's box relative to joint 0; with joint 0
// moving, that reads as relative only, which the report says and warns of
// without failing. The same file with model-space boxes reads as model space.
TEST(Md5inspect, ReadsTheConvertersBoundsAsRelativeToJointZero)
{
    const MovingCube cube;
    const ProgramResult run = runProgram(md5inspectPath(), {cube.mesh(), cube.anim()}, cube.dir.path(), "md5inspect");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find(platformText("  bounds follow: boxes relative to joint 0\n")), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("which moves up to 1.000000 from the origin"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[bounds-relative]"), std::string::npos);
    EXPECT_NE(run.out.find(platformText("\n0 errors, 1 warning\n")), std::string::npos);

    Md5ModelFile model;
    Md5AnimFile anim;
    ASSERT_FALSE(parseMd5Model(readFile(cube.mesh()), model));
    const std::string text = readFile(cube.anim());
    ASSERT_FALSE(parseMd5Anim(text, anim));
    EXPECT_EQ(classifyBounds(model, anim).reading, BoundsReading::RelativeToJoint0);
    // Each bounds line moved by joint 0's position in its frame.
    std::string moved = text.substr(0, text.find("bounds {")) + "bounds {\n";
    JointPose pose;
    for (std::size_t f = 0; f < anim.frameCount(); ++f) {
        poseFrame(anim, f, pose);
        const Vec3d low = anim.bounds[f].min + pose[0].position, high = anim.bounds[f].max + pose[0].position;
        moved += "\t( ";
        appendFixedTriple(moved, low.x, low.y, low.z);
        moved += " ) ( ";
        appendFixedTriple(moved, high.x, high.y, high.z);
        moved += " )\n";
    }
    moved += text.substr(text.find("}", text.find("bounds {")));
    ASSERT_FALSE(parseMd5Anim(moved, anim));
    const BoundsCheck check = classifyBounds(model, anim);
    EXPECT_EQ(check.reading, BoundsReading::ModelSpace);
    EXPECT_NEAR(check.worstRelative, 1.0, 1e-4);
    EXPECT_TRUE(checkBounds(check, anim, Engine::Doom3).empty());

    // Converted for id Tech 4, the same rig's boxes are model space, the bone moving under an origin joint 0
    // that stays put (so they read as relative to joint 0 as well), and nothing is left to warn of.
    const MovingCube engine({"--engine", "doom3"});
    ASSERT_FALSE(parseMd5Model(readFile(engine.mesh()), model));
    ASSERT_FALSE(parseMd5Anim(readFile(engine.anim()), anim));
    const BoundsCheck engineCheck = classifyBounds(model, anim);
    EXPECT_EQ(engineCheck.reading, BoundsReading::Both);
    EXPECT_LE(engineCheck.worstModel, 1e-5);
    EXPECT_EQ(engineCheck.jointZeroTravel, 0.0);
    const ProgramResult inspected = runProgram(md5inspectPath(), {engine.mesh(), engine.anim(), "--engine", "doom3"},
                                               engine.dir.path(), "md5inspect");
    EXPECT_EQ(inspected.exitStatus, 0) << inspected.out;
    EXPECT_NE(inspected.out.find(platformText("\n0 errors, 0 warnings\n")), std::string::npos) << inspected.out;
}

#ifdef LWMD5_HAVE_CAIRO

struct Png {
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface{nullptr, cairo_surface_destroy};

    explicit Png(const fs::path& path) { surface.reset(cairo_image_surface_create_from_png(path.string().c_str())); }
    int width() const { return cairo_image_surface_get_width(surface.get()); }
    int height() const { return cairo_image_surface_get_height(surface.get()); }
    std::uint32_t rgb(int x, int y) const
    {
        const unsigned char* row = cairo_image_surface_get_data(surface.get()) +
                                   static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface.get());
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xffffffu;
    }
    // Pixels of the view that are not its background.
    long covered(const PictureView& view) const
    {
        long count = 0;
        for (int y = view.y; y < view.y + view.height; ++y) {
            for (int x = view.x; x < view.x + view.width; ++x) count += rgb(x, y) != kViewBackground ? 1 : 0;
        }
        return count;
    }
};

// The picture of the cube: its size is the layout's; the bind views show a
// unit square (the cube from the front and from the side) within 2%; each
// frame's bounds outline lies where the frame's numbers put it, and the
// cube, moved by joint 0, lies where its pose puts it; the same run gives the
// same bytes.
TEST(Md5inspect, DrawsTheMeshTheBoundsAndTheFramesWhereTheyAre)
{
    const MovingCube cube;
    const std::vector<std::string> arguments = {cube.mesh(), cube.anim(), "--png", "cube.png", "--frames", "5"};
    const ProgramResult run = runProgram(md5inspectPath(), arguments, cube.dir.path(), "md5inspect");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string bytes = readFile(cube.dir / "cube.png");
    ASSERT_EQ(runProgram(md5inspectPath(), arguments, cube.dir.path(), "md5inspect").exitStatus, 0);
    EXPECT_EQ(readFile(cube.dir / "cube.png"), bytes);

    CaptureReporter report;
    const Inspection inspection = inspectFiles(cube.mesh(), {cube.anim()}, Engine::None, report);
    const PictureLayout layout = layoutPicture(inspection, 5);
    const Png png(cube.dir / "cube.png");
    ASSERT_EQ(cairo_surface_status(png.surface.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(png.width(), layout.width);
    EXPECT_EQ(png.height(), layout.height);
    for (const PictureView* view : {&layout.front, &layout.side}) {
        const double square = view->scale * view->scale;
        EXPECT_NEAR(static_cast<double>(png.covered(*view)), square, 0.02 * square) << view->facing;
    }
    ASSERT_EQ(layout.anims.size(), 1u);
    const AnimPanel& panel = layout.anims[0];
    EXPECT_EQ(panel.frames, (std::vector<std::size_t>{0, 2, 4, 6, 8}));
    const Md5AnimFile& anim = inspection.anims[0].anim;
    JointPose pose;
    for (std::size_t i = 0; i < panel.frames.size(); ++i) {
        const Md5Box& box = anim.bounds[panel.frames[i]];
        const PictureView& view = panel.views[i];
        double left = 0, right = 0, top = 0, bottom = 0, depth = 0;
        view.project(box.min, left, bottom, depth);
        view.project(box.max, right, top, depth);
        const int l = static_cast<int>(std::lround(left)), r = static_cast<int>(std::lround(right));
        const int t = static_cast<int>(std::lround(top)), b = static_cast<int>(std::lround(bottom));
        const int midX = (l + r) / 2, midY = (t + b) / 2;
        for (const auto& [x, y] : {std::pair{l, midY}, {r - 1, midY}, {midX, t}, {midX, b - 1}}) {
            EXPECT_EQ(png.rgb(x, y), kBoundsColour) << "frame " << panel.frames[i] << " at " << x << ", " << y;
        }
        poseFrame(anim, panel.frames[i], pose);
        double cx = 0, cy = 0;
        view.project(pose[0].position + Vec3d{0.35, 0, 0.3}, cx, cy, depth);
        const std::uint32_t centre = png.rgb(static_cast<int>(cx), static_cast<int>(cy));
        EXPECT_TRUE(centre != kViewBackground && centre != kBoundsColour) << "frame " << panel.frames[i];
    }
}

#endif

} // namespace
} // namespace lwmd5
