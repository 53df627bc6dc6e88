#include "app/run.h"

#include "app/command_line.h"
#include "app/output_check.h"
#include "app/pipelines.h"
#include "app/validation.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "object/lwo_reader.h"
#include "platform/report.h"
#include "scene/scene_reader.h"

namespace lwmd5 {

int runProgram(Program program, int argc, const char* const* argv)
{
    const bool animation = program == Program::AnimationConverter;
    ConsoleReporter report(animation ? "animconv" : "meshconv");
    printBanner(animation ? "md5anim" : "md5mesh");

    int status = kExitSuccess;
    const std::optional<CommandLine> line = parseCommandLine(argc, argv, report, status);
    if (!line) return status;

    Scene scene;
    scene.scaleFactor = line->scaleFactor;
    const bool sceneRead = animation ? readScene(line->scenePath, scene, report)
                                     : readSceneBones(line->scenePath, scene, report);
    if (!sceneRead) return kExitFailure;
    if (line->objectPath.empty()) {
        report.error("no argument is an object file (.lwo)");
        return kExitFailure;
    }
    if (!loadLwoObject(line->objectPath, scene.object, report)) return kExitFailure;
    if (!validateInputs(scene, {line->scenePath, line->objectPath, animation}, report)) return kExitFailure;

    if (animation) {
        convertAnimation(scene, report);
        if (!checkAnimationOutputIsFinite(scene, line->scenePath, report)) return kExitFailure;
        if (!writeMd5Anim(line->scenePath, scene, report)) return kExitFailure;
    } else {
        convertMesh(scene, report);
        if (!checkMeshOutputIsFinite(scene, line->scenePath, report)) return kExitFailure;
        if (!writeMd5Mesh(line->scenePath, scene, report)) return kExitFailure;
    }
    scene.object.release();
    return kExitSuccess;
}

} // namespace lwmd5
