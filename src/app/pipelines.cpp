#include "app/pipelines.h"

#include "app/validation.h"
#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"

namespace lwmd5 {

void convertMesh(Scene& scene, Reporter& report)
{
    buildJoints(scene);
    orderJoints(scene);
    computeBindTransforms(scene);
    reportSkeleton(scene, report);
    buildMesh(scene, report);
    assignWeights(scene, report);
    applyUvFixes(scene, report);
}

void convertAnimation(Scene& scene, Reporter& report)
{
    buildJoints(scene);
    orderJoints(scene);
    computeBindTransforms(scene);
    reportSkeleton(scene, report);
    computeJointChannels(scene);
    buildMesh(scene, report);
    assignWeights(scene, report);
    applyUvFixes(scene, report);
    computeFrameBounds(scene);
}

} // namespace lwmd5
