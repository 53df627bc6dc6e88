#pragma once

#include "scene/scene.h"

namespace lwmd5 {

class Reporter;

// The stages of each program between reading its inputs and writing its
// output, in their fixed order. The scene must have passed validateInputs.
void convertMesh(Scene& scene, Reporter& report);
void convertAnimation(Scene& scene, Reporter& report);

} // namespace lwmd5
