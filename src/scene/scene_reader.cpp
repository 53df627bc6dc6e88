#include "scene/scene_reader.h"

#include "platform/file_io.h"
#include "platform/parallel.h"
#include "platform/report.h"
#include "scene/text_scan.h"

#include <algorithm>

namespace lwmd5 {

SceneLineReader::SceneLineReader(std::string_view text) : text_(text)
{
    // Scenes saved by Unix tools or version control end their lines in line
    // feeds alone; in a file with carriage returns a lone line feed is an
    // ordinary character.
    if (text_.find('\r') == std::string_view::npos) lineEnd_ = '\n';
}

bool SceneLineReader::readLine(std::string_view& line)
{
    const std::size_t end = text_.find(lineEnd_, position_);
    if (end == std::string_view::npos) {
        position_ = text_.size();
        return false;
    }
    line = text_.substr(position_, end - position_);
    position_ = end + 1;
    if (lineEnd_ == '\r' && position_ < text_.size() && text_[position_] == '\n') ++position_;
    const std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    return true;
}

namespace {

// Key lines carry their numbers from the seventh character on ("  Key "),
// behaviour lines from the thirteenth ("  Behaviors ").
constexpr std::size_t kKeyColumn = 6;
constexpr std::size_t kBehaviorColumn = 12;
// A key count is a claim, not a promise: reserve no more up front than this,
// and let real key lines grow the array.
constexpr std::size_t kMaxKeyReserve = 1 << 16;
// Below this many key lines the numbers are converted on the reading thread.
constexpr std::size_t kParallelKeyLines = 20000;

class SceneParser {
public:
    SceneParser(std::string_view text, Scene& scene, SceneFlavour flavour, Reporter& report,
                std::string_view sourceName)
        : lines_(text), scene_(scene), flavour_(flavour), report_(report), sourceName_(sourceName), text_(text)
    {
    }

    void parse();

private:
    enum class Item { None, Bone, Null };

    // The key lines of one channel, converted after the whole file is read:
    // they are independent of each other and of the reader's state.
    struct KeyLines {
        Item item;
        std::size_t index;
        std::size_t channel;
        std::size_t position; // of the first key line in the text
        std::size_t count;
    };

    void handleLine(std::string_view keyword, std::string_view value, bool hasValue);
    bool handleBoneKeyword(std::string_view keyword, std::string_view value);
    bool readChannelBlock(Item item, std::size_t index);
    void convertKeyLines();
    Channels& channelsOf(Item item, std::size_t index);
    std::uint32_t* pendingSlot();

    SceneLineReader lines_;
    Scene& scene_;
    SceneFlavour flavour_;
    Reporter& report_;
    std::string_view sourceName_;

    Item current_ = Item::None;
    // The parent slot of the item created last, until a ParentItem fills it.
    Item pendingKind_ = Item::None;
    std::size_t pendingIndex_ = 0;
    std::string_view text_;
    std::vector<KeyLines> keyLines_;
    std::size_t keyLineCount_ = 0;
};

Channels& SceneParser::channelsOf(Item item, std::size_t index)
{
    return item == Item::Bone ? scene_.bones[index].channels : scene_.nullObjects[index].channels;
}

std::uint32_t* SceneParser::pendingSlot()
{
    if (pendingKind_ == Item::Bone) return &scene_.bones[pendingIndex_].parentItem;
    if (pendingKind_ == Item::Null) return &scene_.nullObjects[pendingIndex_].parentItem;
    return nullptr;
}

void SceneParser::parse()
{
    std::string_view line;
    while (lines_.readLine(line)) {
        if (line.empty()) continue;
        const std::size_t space = line.find(' ');
        const bool hasValue = space != std::string_view::npos;
        const std::string_view keyword = hasValue ? line.substr(0, space) : line;
        const std::string_view value = hasValue ? line.substr(space + 1) : std::string_view();
        handleLine(keyword, value, hasValue);
    }
    convertKeyLines();
}

void SceneParser::convertKeyLines()
{
    auto convert = [this](std::size_t begin, std::size_t end) {
        for (std::size_t j = begin; j < end; ++j) {
            const KeyLines& block = keyLines_[j];
            std::vector<EnvelopeKey>& keys = channelsOf(block.item, block.index)[block.channel].keys;
            SceneLineReader lines(text_, lines_.lineEnd(), block.position);
            std::string_view line;
            for (std::size_t k = 0; k < block.count && lines.readLine(line); ++k) {
                if (line.size() >= kKeyColumn) scanKeyFields(line.substr(kKeyColumn), keys[k]);
            }
        }
    };
    if (keyLineCount_ < kParallelKeyLines) {
        convert(0, keyLines_.size());
    } else {
        forEachRange(keyLines_.size(), convert);
    }
}

void SceneParser::handleLine(std::string_view keyword, std::string_view value, bool hasValue)
{
    const bool full = flavour_ == SceneFlavour::Full;
    if (keyword == "AddBone") {
        scene_.bones.emplace_back();
        current_ = Item::Bone;
        pendingKind_ = Item::Bone;
        pendingIndex_ = scene_.bones.size() - 1;
        return;
    }
    if (!hasValue) return;
    if (full) {
        if (keyword == "PreviewFirstFrame") {
            scene_.firstFrame = leadingInteger(value);
            return;
        }
        if (keyword == "PreviewLastFrame") {
            scene_.lastFrame = leadingInteger(value);
            return;
        }
        if (keyword == "PreviewFrameStep") {
            scene_.frameStep = leadingInteger(value);
            return;
        }
        if (keyword == "FramesPerSecond") {
            scene_.framesPerSecond = leadingInteger(value);
            return;
        }
    }
    if (keyword == "ParentItem") {
        if (std::uint32_t* slot = pendingSlot()) {
            scanHex8(value, *slot);
            pendingKind_ = Item::None;
        }
        return;
    }
    if (handleBoneKeyword(keyword, value)) return;
    if (!full) return;
    if (keyword == "NumChannels") {
        if (current_ == Item::Bone) {
            if (!readChannelBlock(Item::Bone, scene_.bones.size() - 1)) {
                report_.warning(std::string(sourceName_) + ": the file ends inside a channel block of bone '" +
                                scene_.bones.back().name + "'; the keys read so far are kept");
            }
        } else if (current_ == Item::Null) {
            if (!readChannelBlock(Item::Null, scene_.nullObjects.size() - 1)) {
                report_.warning(std::string(sourceName_) + ": the file ends inside a channel block of null object '" +
                                scene_.nullObjects.back().name + "'; the keys read so far are kept");
            }
        }
        current_ = Item::None;
        return;
    }
    if (keyword == "AddNullObject") {
        NullObject null;
        null.name = std::string(value);
        scene_.nullObjects.push_back(std::move(null));
        current_ = Item::Null;
        pendingKind_ = Item::Null;
        pendingIndex_ = scene_.nullObjects.size() - 1;
    }
}

// The bone keywords act on the last bone created, also while a null object
// is the current item. Before the first AddBone they are ignored.
bool SceneParser::handleBoneKeyword(std::string_view keyword, std::string_view value)
{
    const bool isBoneKeyword = keyword == "BoneName" || keyword == "BoneActive" ||
                               keyword == "BoneRestPosition" || keyword == "BoneRestDirection" ||
                               keyword == "BoneRestLength" || keyword == "BoneWeightMapName";
    if (!isBoneKeyword) return false;
    if (scene_.bones.empty()) return true;
    Bone& bone = scene_.bones.back();
    if (keyword == "BoneName") {
        bone.name = std::string(value);
    } else if (keyword == "BoneActive") {
        bone.active = leadingInteger(value);
    } else if (keyword == "BoneRestPosition") {
        scanThreeFloats(value, bone.restPosition.x, bone.restPosition.y, bone.restPosition.z);
    } else if (keyword == "BoneRestDirection") {
        scanThreeFloats(value, bone.restDirection.x, bone.restDirection.y, bone.restDirection.z);
    } else if (keyword == "BoneRestLength") {
        bone.restLength = static_cast<float>(leadingDecimal(value));
    } else {
        bone.weightMapName = std::string(value);
    }
    return true;
}

// Nine channels in a fixed line layout, whatever NumChannels says. False when
// the file ends inside the block; the keys read until then are kept.
bool SceneParser::readChannelBlock(Item item, std::size_t index)
{
    std::string_view line;
    for (std::size_t c = 0; c < kChannelCount; ++c) {
        Envelope& envelope = channelsOf(item, index)[c];
        envelope = Envelope{};
        // The channel header and the opening line are skipped unread.
        if (!lines_.readLine(line) || !lines_.readLine(line) || !lines_.readLine(line)) return false;
        const int keyCount = leadingInteger(line);
        if (keyCount > 0) {
            envelope.keys.reserve(std::min({static_cast<std::size_t>(keyCount), lines_.remainingBytes(),
                                            kMaxKeyReserve}));
        }
        // The key lines are only counted here; convertKeyLines reads their numbers.
        KeyLines block{item, index, c, lines_.position(), 0};
        bool complete = true;
        for (int k = 0; k < keyCount && complete; ++k) {
            complete = lines_.readLine(line);
            if (complete) envelope.keys.emplace_back();
        }
        block.count = envelope.keys.size();
        keyLineCount_ += block.count;
        if (block.count > 0) keyLines_.push_back(block);
        if (!complete || !lines_.readLine(line)) return false;
        if (line.size() >= kBehaviorColumn) {
            scanTwoInts(line.substr(kBehaviorColumn), envelope.preBehavior, envelope.postBehavior);
        }
        if (!lines_.readLine(line)) return false; // the closing brace
    }
    return true;
}

bool readSceneFile(const std::string& path, Scene& scene, SceneFlavour flavour, Reporter& report)
{
    std::string text;
    std::string reason;
    if (!readWholeFile(path, text, reason)) {
        report.error("cannot open scene file '" + path + "': " + reason);
        return false;
    }
    parseScene(text, scene, flavour, report, path);
    return true;
}

} // namespace

void parseScene(std::string_view text, Scene& scene, SceneFlavour flavour, Reporter& report,
                std::string_view sourceName)
{
    SceneParser(text, scene, flavour, report, sourceName).parse();
}

bool readScene(const std::string& path, Scene& scene, Reporter& report)
{
    return readSceneFile(path, scene, SceneFlavour::Full, report);
}

bool readSceneBones(const std::string& path, Scene& scene, Reporter& report)
{
    return readSceneFile(path, scene, SceneFlavour::BonesOnly, report);
}

} // namespace lwmd5
