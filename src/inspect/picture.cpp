#include "inspect/picture.h"

#include "md5/md5_pose.h"
#include "platform/parallel.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

namespace lwmd5 {

namespace {

constexpr int kWidth = 960;
constexpr int kMargin = 16;
constexpr int kHeading = 30;    // a line of text above a row of views
constexpr int kBindHeight = 400;
constexpr int kColumns = 8;
constexpr int kCellHeight = 170;
constexpr int kLabel = 22;      // the frame number under each cell
constexpr double kFill = 0.86;  // of a view that the fitted box takes
constexpr double kFontSize = 13.0;

constexpr std::uint32_t kMeshColour = 0x9db4d6;
constexpr std::uint32_t kSkeletonColour = 0xd9531e;
constexpr std::uint32_t kTextColour = 0x303640;

// The extent of boxes as one facing shows them.
struct ViewRange {
    double lowU = std::numeric_limits<double>::infinity();
    double highU = -std::numeric_limits<double>::infinity();
    double lowV = std::numeric_limits<double>::infinity();
    double highV = -std::numeric_limits<double>::infinity();

    void add(const Md5Box& box, PictureView::Facing facing)
    {
        if (!std::isfinite(box.min.x) || !std::isfinite(box.max.x)) return; // nothing posed
        lowU = std::min(lowU, facing == PictureView::Front ? box.min.x : box.min.y);
        highU = std::max(highU, facing == PictureView::Front ? box.max.x : box.max.y);
        lowV = std::min(lowV, box.min.z);
        highV = std::max(highV, box.max.z);
    }
    bool empty() const { return !(lowU <= highU && lowV <= highV); }
};

// Pixels per unit that fit the range into width x height (a unit square
// around the origin stands in for an empty range).
double fitScale(const ViewRange& range, int width, int height)
{
    if (range.empty()) return kFill * std::min(width, height);
    const double u = std::max(range.highU - range.lowU, 1e-9);
    const double v = std::max(range.highV - range.lowV, 1e-9);
    return kFill * std::min(width / u, height / v);
}

PictureView makeView(PictureView::Facing facing, int x, int y, int width, int height, double scale,
                     const ViewRange& range)
{
    PictureView view{facing, x, y, width, height, scale, 0.0, 0.0};
    if (!range.empty()) {
        view.centerU = 0.5 * (range.lowU + range.highU);
        view.centerV = 0.5 * (range.lowV + range.highV);
    }
    return view;
}

std::string fileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

Vec3d toRgb(std::uint32_t colour)
{
    return {((colour >> 16) & 255) / 255.0, ((colour >> 8) & 255) / 255.0, (colour & 255) / 255.0};
}

} // namespace

void PictureView::project(const Vec3d& p, double& px, double& py, double& depth) const
{
    const double u = facing == Front ? p.x : p.y;
    px = x + 0.5 * width + (u - centerU) * scale;
    py = y + 0.5 * height - (p.z - centerV) * scale;
    depth = facing == Front ? p.y : -p.x;
}

std::vector<std::size_t> chooseFrames(std::size_t frameCount, std::size_t wanted)
{
    const std::size_t count = std::min(frameCount, wanted);
    if (count <= 1) return std::vector<std::size_t>(count, 0);
    std::vector<std::size_t> frames;
    for (std::size_t i = 0; i < count; ++i) {
        frames.push_back((i * (frameCount - 1) + (count - 1) / 2) / (count - 1));
    }
    return frames;
}

PictureLayout layoutPicture(const Inspection& inspection, std::size_t framesPerAnim)
{
    PictureLayout layout;
    layout.width = kWidth;
    const int bindWidth = (kWidth - 3 * kMargin) / 2;
    int y = kMargin + kHeading;
    ViewRange front, side;
    if (inspection.model.read) {
        front.add(inspection.model.bindBox, PictureView::Front);
        side.add(inspection.model.bindBox, PictureView::Side);
    }
    // One scale for both views, so front and side compare.
    const double scale = std::min(fitScale(front, bindWidth, kBindHeight), fitScale(side, bindWidth, kBindHeight));
    layout.front = makeView(PictureView::Front, kMargin, y, bindWidth, kBindHeight, scale, front);
    layout.side = makeView(PictureView::Side, 2 * kMargin + bindWidth, y, bindWidth, kBindHeight, scale, side);
    y += kBindHeight;

    const int cellWidth = (kWidth - (kColumns + 1) * kMargin) / kColumns;
    for (std::size_t a = 0; a < inspection.anims.size(); ++a) {
        const InspectedAnim& anim = inspection.anims[a];
        if (!anim.posed) continue;
        AnimPanel panel{a, y + kMargin + kHeading - 10, chooseFrames(anim.anim.frameCount(), framesPerAnim), {}};
        y += kMargin + kHeading;
        const MeshBoxer boxer(inspection.model.model);
        ViewRange range;
        JointPose pose;
        for (const std::size_t f : panel.frames) {
            poseFrame(anim.anim, f, pose);
            range.add(boxer.boxOf(pose), PictureView::Front);
            range.add(anim.anim.bounds[f], PictureView::Front);
        }
        const double cellScale = fitScale(range, cellWidth, kCellHeight);
        for (std::size_t i = 0; i < panel.frames.size(); ++i) {
            const auto column = static_cast<int>(i % kColumns);
            const int top = y + static_cast<int>(i / kColumns) * (kCellHeight + kLabel);
            panel.views.push_back(makeView(PictureView::Front, kMargin + column * (cellWidth + kMargin), top, cellWidth,
                                           kCellHeight, cellScale, range));
        }
        const auto rows = static_cast<int>((panel.frames.size() + kColumns - 1) / kColumns);
        y += rows * (kCellHeight + kLabel);
        layout.anims.push_back(std::move(panel));
    }
    layout.height = y + kMargin;
    return layout;
}

namespace {

// The image as 32-bit pixels with a depth per pixel; each triangle is filled
// flat, nearer surfaces hiding farther ones.
class Raster {
public:
    Raster(cairo_surface_t* surface)
        : data_(cairo_image_surface_get_data(surface)), stride_(cairo_image_surface_get_stride(surface)),
          depth_(static_cast<std::size_t>(cairo_image_surface_get_width(surface)) *
                     static_cast<std::size_t>(cairo_image_surface_get_height(surface)),
                 std::numeric_limits<float>::infinity()),
          width_(cairo_image_surface_get_width(surface))
    {
    }

    void drawMesh(const PictureView& view, const Md5ModelFile& model, const JointPose& pose) const;

private:
    struct Corner {
        double x, y, depth;
    };
    void fillTriangle(const PictureView& view, const Corner (&c)[3], std::uint32_t argb) const;

    unsigned char* data_;
    int stride_;
    mutable std::vector<float> depth_; // each view touches only its own rectangle
    int width_;
};

double edge(const auto& a, const auto& b, double x, double y)
{
    return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
}

void Raster::fillTriangle(const PictureView& view, const Corner (&c)[3], std::uint32_t argb) const
{
    const double area = edge(c[0], c[1], c[2].x, c[2].y);
    if (!(std::abs(area) > 1e-12)) return; // degenerate, or not a number
    const double sign = area > 0 ? 1.0 : -1.0;
    auto clampTo = [](double value, int low, int high) {
        return static_cast<int>(std::clamp(value, static_cast<double>(low), static_cast<double>(high)));
    };
    const int x0 = clampTo(std::floor(std::min({c[0].x, c[1].x, c[2].x})), view.x, view.x + view.width - 1);
    const int x1 = clampTo(std::ceil(std::max({c[0].x, c[1].x, c[2].x})), view.x, view.x + view.width - 1);
    const int y0 = clampTo(std::floor(std::min({c[0].y, c[1].y, c[2].y})), view.y, view.y + view.height - 1);
    const int y1 = clampTo(std::ceil(std::max({c[0].y, c[1].y, c[2].y})), view.y, view.y + view.height - 1);
    for (int y = y0; y <= y1; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data_ + static_cast<std::ptrdiff_t>(y) * stride_);
        float* depthRow = depth_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        const double py = y + 0.5;
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5;
            const double w0 = sign * edge(c[1], c[2], px, py);
            const double w1 = sign * edge(c[2], c[0], px, py);
            const double w2 = sign * edge(c[0], c[1], px, py);
            if (w0 < 0 || w1 < 0 || w2 < 0) continue;
            const double weighted = w0 * c[0].depth + w1 * c[1].depth + w2 * c[2].depth;
            const auto depth = static_cast<float>(weighted / (sign * area));
            if (!(depth < depthRow[x])) continue;
            depthRow[x] = depth;
            row[x] = argb;
        }
    }
}

// The light comes from the upper left, in front of the viewer; both sides of
// a triangle are lit alike, since files wind their triangles either way.
std::uint32_t shadeTriangle(const PictureView& view, const Vec3d& a, const Vec3d& b, const Vec3d& c)
{
    const Vec3d n = crossProduct(b - a, c - a);
    const double size = length(n);
    const Vec3d right = view.facing == PictureView::Front ? Vec3d{1, 0, 0} : Vec3d{0, 1, 0};
    const Vec3d toward = view.facing == PictureView::Front ? Vec3d{0, -1, 0} : Vec3d{1, 0, 0};
    const Vec3d light{-0.38, 0.52, 0.76};
    double lit = 0.0;
    if (size > 0.0) {
        lit = std::abs(dotProduct(n, right) * light.x + n.z * light.y + dotProduct(n, toward) * light.z) / size;
    }
    const double shade = 0.32 + 0.68 * std::min(1.0, lit);
    const Vec3d base = toRgb(kMeshColour);
    auto channel = [shade](double value) { return static_cast<std::uint32_t>(std::lround(255.0 * value * shade)); };
    return 0xff000000u | channel(base.x) << 16 | channel(base.y) << 8 | channel(base.z);
}

void Raster::drawMesh(const PictureView& view, const Md5ModelFile& model, const JointPose& pose) const
{
    std::vector<Vec3d> points;
    std::vector<Corner> projected;
    for (const Md5FileMesh& mesh : model.meshes) {
        skinVertices(mesh, pose, points);
        projected.resize(points.size());
        for (std::size_t v = 0; v < points.size(); ++v) {
            view.project(points[v], projected[v].x, projected[v].y, projected[v].depth);
        }
        for (const Md5FileTriangle& triangle : mesh.triangles) {
            const long long* k = triangle.corners;
            auto outside = [&](long long i) { return i < 0 || static_cast<std::size_t>(i) >= points.size(); };
            if (std::any_of(k, k + 3, outside)) continue;
            const auto i0 = static_cast<std::size_t>(k[0]), i1 = static_cast<std::size_t>(k[1]),
                       i2 = static_cast<std::size_t>(k[2]);
            const Corner corners[3] = {projected[i0], projected[i1], projected[i2]};
            fillTriangle(view, corners, shadeTriangle(view, points[i0], points[i1], points[i2]));
        }
    }
}

// Cairo takes coordinates far inside its fixed-point range only.
double onCanvas(double value)
{
    return std::isfinite(value) ? std::clamp(value, -1e5, 1e5) : 0.0;
}

void setColour(cairo_t* cr, std::uint32_t colour)
{
    const Vec3d rgb = toRgb(colour);
    cairo_set_source_rgb(cr, rgb.x, rgb.y, rgb.z);
}

void clipToView(cairo_t* cr, const PictureView& view)
{
    cairo_reset_clip(cr);
    cairo_rectangle(cr, view.x, view.y, view.width, view.height);
    cairo_clip(cr);
}

void drawSkeleton(cairo_t* cr, const PictureView& view, const std::vector<long long>& parents, const JointPose& pose,
                  double size)
{
    clipToView(cr, view);
    setColour(cr, kSkeletonColour);
    cairo_set_line_width(cr, size * 0.6);
    std::vector<std::pair<double, double>> at(pose.size());
    double depth = 0.0;
    for (std::size_t j = 0; j < pose.size(); ++j) {
        view.project(pose[j].position, at[j].first, at[j].second, depth);
        at[j] = {onCanvas(at[j].first), onCanvas(at[j].second)};
    }
    for (std::size_t j = 0; j < pose.size() && j < parents.size(); ++j) {
        if (parents[j] < 0 || static_cast<std::size_t>(parents[j]) >= j) continue;
        const auto& p = at[static_cast<std::size_t>(parents[j])];
        cairo_move_to(cr, p.first, p.second);
        cairo_line_to(cr, at[j].first, at[j].second);
    }
    cairo_stroke(cr);
    for (const auto& [x, y] : at) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, size, 0.0, 2.0 * 3.14159265358979323846);
    }
    cairo_fill(cr);
}

// Without antialiasing and on whole pixels, so the outline's pixels are
// exactly the box's colour where the frame's numbers put them.
void drawBox(cairo_t* cr, const PictureView& view, const Md5Box& box)
{
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0, depth = 0;
    view.project(box.min, x0, y1, depth);
    view.project(box.max, x1, y0, depth);
    clipToView(cr, view);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    setColour(cr, kBoundsColour);
    cairo_set_line_width(cr, 2.0);
    const double left = std::round(onCanvas(x0)), right = std::round(onCanvas(x1));
    const double top = std::round(onCanvas(y0)), bottom = std::round(onCanvas(y1));
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_stroke(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, bool centred)
{
    cairo_reset_clip(cr);
    setColour(cr, kTextColour);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, centred ? x - 0.5 * extents.x_advance : x, y);
    cairo_show_text(cr, text.c_str());
}

std::vector<long long> meshParents(const Md5ModelFile& model)
{
    std::vector<long long> parents;
    for (const Md5FileJoint& joint : model.joints) parents.push_back(joint.parent);
    return parents;
}

void paintBackground(cairo_t* cr, const PictureLayout& layout)
{
    setColour(cr, kPictureBackground);
    cairo_paint(cr);
    setColour(cr, kViewBackground);
    cairo_rectangle(cr, layout.front.x, layout.front.y, layout.front.width, layout.front.height);
    cairo_rectangle(cr, layout.side.x, layout.side.y, layout.side.width, layout.side.height);
    for (const AnimPanel& panel : layout.anims) {
        for (const PictureView& view : panel.views) cairo_rectangle(cr, view.x, view.y, view.width, view.height);
    }
    cairo_fill(cr);
}

// Every mesh view, rasterised on the worker threads: each writes only the
// pixels of its own rectangle.
void rasteriseViews(cairo_surface_t* surface, const Inspection& inspection, const PictureLayout& layout,
                    unsigned threads)
{
    struct Job {
        const PictureView* view;
        const Md5AnimFile* anim; // nothing: the bind pose
        std::size_t frame;
    };
    std::vector<Job> jobs = {{&layout.front, nullptr, 0}, {&layout.side, nullptr, 0}};
    for (const AnimPanel& panel : layout.anims) {
        for (std::size_t i = 0; i < panel.views.size(); ++i) {
            jobs.push_back({&panel.views[i], &inspection.anims[panel.anim].anim, panel.frames[i]});
        }
    }
    cairo_surface_flush(surface);
    const Raster raster(surface);
    const Md5ModelFile& model = inspection.model.model;
    forEachRange(jobs.size(), threads, [&](std::size_t begin, std::size_t end) {
        JointPose pose;
        for (std::size_t j = begin; j < end; ++j) {
            if (jobs[j].anim == nullptr) {
                pose = bindPose(model);
            } else {
                poseFrame(*jobs[j].anim, jobs[j].frame, pose);
            }
            raster.drawMesh(*jobs[j].view, model, pose);
        }
    });
    cairo_surface_mark_dirty(surface);
}

void drawOverlays(cairo_t* cr, const Inspection& inspection, const PictureLayout& layout)
{
    const Md5ModelFile& model = inspection.model.model;
    const std::vector<long long> parents = meshParents(model);
    const JointPose bind = bindPose(model);
    drawSkeleton(cr, layout.front, parents, bind, 3.0);
    drawSkeleton(cr, layout.side, parents, bind, 3.0);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    const std::string name = fileName(inspection.model.path);
    drawText(cr, name + ": bind pose from the front", layout.front.x, layout.front.y - 10, false);
    drawText(cr, "from the side", layout.side.x, layout.side.y - 10, false);
    JointPose pose;
    for (const AnimPanel& panel : layout.anims) {
        const Md5AnimFile& anim = inspection.anims[panel.anim].anim;
        const std::string title = fileName(inspection.anims[panel.anim].path);
        drawText(cr, title + ": frames from the front, bounds as engines read them", kMargin, panel.titleY, false);
        for (std::size_t i = 0; i < panel.views.size(); ++i) {
            const PictureView& view = panel.views[i];
            poseFrame(anim, panel.frames[i], pose);
            drawSkeleton(cr, view, parents, pose, 1.6);
            drawBox(cr, view, anim.bounds[panel.frames[i]]);
            drawText(cr, "frame " + std::to_string(panel.frames[i]), view.x + 0.5 * view.width,
                     view.y + view.height + 16, true);
        }
    }
}

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The bytes go to a temporary file beside the target, renamed over it only
// once all were written.
bool replaceFileWithBytes(const std::string& path, const std::string& bytes, std::string& reason)
{
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".md5inspect-partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            reason = "the file could not be written";
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        reason = ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace

bool writePicture(const Inspection& inspection, std::size_t framesPerAnim, const std::string& path,
                  std::string& reason, unsigned threads)
{
    if (!inspection.model.read) {
        reason = "the model was not read";
        return false;
    }
    const PictureLayout layout = layoutPicture(inspection, framesPerAnim);
    const std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, layout.width, layout.height), cairo_surface_destroy);
    const std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr(cairo_create(surface.get()), cairo_destroy);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        reason = cairo_status_to_string(cairo_status(cr.get()));
        return false;
    }
    paintBackground(cr.get(), layout);
    rasteriseViews(surface.get(), inspection, layout, threads);
    drawOverlays(cr.get(), inspection, layout);
    cairo_surface_flush(surface.get());
    std::string png;
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface.get(), appendPng, &png);
    if (status != CAIRO_STATUS_SUCCESS) {
        reason = cairo_status_to_string(status);
        return false;
    }
    return replaceFileWithBytes(path, png, reason);
}

} // namespace lwmd5
