#pragma once

#include "inspect/inspection.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {

// One orthographic view in the picture, md5's z up. Front: x to the right,
// looking along +y. Side: y to the right, looking along -x.
struct PictureView {
    enum Facing { Front, Side } facing = Front;
    int x = 0; // the view's pixel rectangle
    int y = 0;
    int width = 0;
    int height = 0;
    double scale = 1.0;   // pixels per unit
    double centerU = 0.0; // the model-space point drawn at the view's centre
    double centerV = 0.0;

    // Pixel coordinates (x right, y down) and the depth (smaller is nearer).
    void project(const Vec3d& p, double& px, double& py, double& depth) const;
};

// The frames of one animation, each in a view of its own; one scale for all
// of them, so the motion through space shows.
struct AnimPanel {
    std::size_t anim = 0; // index in Inspection::anims
    int titleY = 0;       // baseline of the file name
    std::vector<std::size_t> frames;
    std::vector<PictureView> views;
};

struct PictureLayout {
    int width = 0;
    int height = 0;
    PictureView front;
    PictureView side;
    std::vector<AnimPanel> anims; // the animations that were posed
};

// `wanted` frames evenly spaced from the first to the last (fewer when the
// animation is shorter).
std::vector<std::size_t> chooseFrames(std::size_t frameCount, std::size_t wanted);

PictureLayout layoutPicture(const Inspection& inspection, std::size_t framesPerAnim);

// Draws the layout and writes it as a PNG, through a temporary file that
// replaces `path` only when complete. The same inputs give the same bytes.
// The views are drawn on up to `threads` threads.
[[nodiscard]] bool writePicture(const Inspection& inspection, std::size_t framesPerAnim, const std::string& path,
                                std::string& reason, unsigned threads = 1);

// Colours the picture is drawn in, as 0xRRGGBB.
constexpr std::uint32_t kPictureBackground = 0xffffff;
constexpr std::uint32_t kViewBackground = 0xeef1f5;
constexpr std::uint32_t kBoundsColour = 0x12a03c;

} // namespace lwmd5
