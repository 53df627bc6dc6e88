#pragma once

#include "inspect/pose_checks.h"
#include "inspect/rules.h"
#include "md5/md5_reader.h"

#include <optional>
#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;

struct InspectedModel {
    std::string path;
    bool read = false; // false: the reader's error went to the reporter
    Md5ModelFile model;
    std::vector<Finding> findings;
    std::vector<MeshMeasures> measures; // one per mesh
    Md5Box bindBox;
};

struct InspectedAnim {
    std::string path;
    bool read = false;
    Md5AnimFile anim;
    std::vector<Finding> findings;
    bool compared = false;                 // the mesh was read, so the hierarchies were compared
    std::vector<std::string> differences;  // from the mesh's hierarchy
    bool posed = false;                    // the pose checks ran
    PoseDistance firstFrame;               // frame 0 against the bind pose
    BoundsCheck bounds;
};

struct Inspection {
    Engine engine = Engine::None;
    InspectedModel model;
    std::vector<InspectedAnim> anims;

    // Files not read count as errors.
    std::size_t errorCount() const;
    std::size_t warningCount() const;
};

// Reads each file and checks it against the engine's rules, alone and, where
// the mesh was read, against the mesh. A file that cannot be read is reported
// through `report` and the others are still checked.
Inspection inspectFiles(const std::string& modelPath, const std::vector<std::string>& animPaths, Engine engine,
                        Reporter& report, unsigned threads = 1);

// The same for texts already in memory (the fuzz target and tests); a text
// that does not parse leaves its `read` false.
void inspectModel(InspectedModel& inspected, Engine engine);
void inspectAnim(const InspectedModel& model, InspectedAnim& inspected, Engine engine, unsigned threads = 1);

} // namespace lwmd5
