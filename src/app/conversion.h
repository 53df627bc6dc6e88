#pragma once

#include "app/validation.h"
#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "md5/engine.h"
#include "md5/md5anim_writer.h"
#include "object/lwo_object.h"
#include "scene/scene.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5 {

class Reporter;
class TextOutput;

// The two converters share every step but their stages and their writer.
enum class Program { MeshConverter, AnimationConverter };

// Engine output (Doom3): origin joint, joints on their bones, model-space
// bounds, every layer and surface; Bfg as Doom3 within these limits.
constexpr int kBfgMaxWeights = 4;
constexpr std::size_t kBfgMaxVertices = 65'535;
constexpr std::size_t kBfgMaxJoints = 256;

// What the user asked for beyond the two files.
struct ConversionOptions {
    float scaleFactor = 1.0f;
    unsigned threads = 1; // for the scene's key lines and the per-frame stages
    Engine engine = Engine::None;
    int maxWeights = kMaxVertexWeights; // 1 to kMaxVertexWeights; Bfg keeps at most kBfgMaxWeights
    std::string shaderPrefix;
};

// What one run reads: the scene and the object, with the paths that name
// them in messages.
struct ConversionInputs {
    std::string scenePath;
    std::string objectPath;
    Scene scene;
    LwoObject object;
};

// What the output file holds. The animation fields stay empty for meshconv.
struct Conversion {
    std::vector<Joint> joints;
    std::vector<Md5Mesh> meshes;
    std::vector<JointChannels> channels;
    std::vector<FrameBounds> bounds;
    int firstFrame = 0;
    int framesPerSecond = 0;
    BoundsSpace boundsSpace = BoundsSpace::RelativeToFirstJoint;
};

// Reads the scene (all of it for animconv, its bones for meshconv) and the
// object from their files; nothing, after one error line, when one cannot be
// read.
[[nodiscard]] std::optional<ConversionInputs> readInputs(Program program, const std::string& scenePath,
                                                         const std::string& objectPath,
                                                         const ConversionOptions& options, Reporter& report);
// The same from bytes in memory, `scenePath` and `objectPath` naming them.
[[nodiscard]] std::optional<ConversionInputs> parseInputs(Program program, std::string_view sceneText,
                                                          std::span<const std::uint8_t> objectBytes,
                                                          const std::string& scenePath, const std::string& objectPath,
                                                          const ConversionOptions& options, Reporter& report);

// Validates the inputs, runs the program's stages in their order and checks
// that every number of the output is finite. Nothing, after one error line,
// when the inputs are refused or the output would not load.
[[nodiscard]] std::optional<Conversion> convert(Program program, const ConversionInputs& inputs,
                                                const ConversionOptions& options, const RunLimits& limits,
                                                Reporter& report);

// The md5mesh (meshconv) or md5anim (animconv) text of a conversion.
void formatConversion(Program program, const Conversion& conversion, TextOutput& output);
std::string formatConversion(Program program, const Conversion& conversion);

// Writes the text beside the scene file; false, after one error line, when
// it cannot be written.
[[nodiscard]] bool writeConversion(Program program, const Conversion& conversion, const std::string& scenePath,
                                   Reporter& report);

} // namespace lwmd5
