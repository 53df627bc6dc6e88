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
    SceneParser(std::string_view text, SceneFlavour flavour, Reporter& report, std::string_view sourceName,
                unsigned threads)
        : lines_(text), flavour_(flavour), report_(report), sourceName_(sourceName), text_(text), threads_(threads)
    {
    }

    Scene parse();

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
    bool handleFrameKeyword(std::string_view keyword, std::string_view value);
    bool handleBoneKeyword(std::string_view keyword, std::string_view value);
    void addNullObject(std::string_view name);
    void readChannelsOfCurrentItem();
    bool readChannelBlock(Item item, std::size_t index);
    void convertKeyLines();
    Channels& channelsOf(Item item, std::size_t index);
    std::uint32_t* pendingSlot();

    SceneLineReader lines_;
    Scene scene_;
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
    unsigned threads_;
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

Scene SceneParser::parse()
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
    return std::move(scene_);
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
        forEachRange(keyLines_.size(), threads_, convert);
    }
}

// Keywords are matched whole and in this order; lines that match none are
// ignored. Only AddBone acts without a value.
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
    if (full && handleFrameKeyword(keyword, value)) return;
    if (keyword == "ParentItem") {
        if (std::uint32_t* slot = pendingSlot()) {
            scanHex8(value, *slot);
            pendingKind_ = Item::None;
        }
        return;
    }
    if (handleBoneKeyword(keyword, value) || !full) return;
    if (keyword == "NumChannels") {
        readChannelsOfCurrentItem();
    } else if (keyword == "AddNullObject") {
        addNullObject(value);
    }
}

bool SceneParser::handleFrameKeyword(std::string_view keyword, std::string_view value)
{
    if (keyword == "PreviewFirstFrame") {
        scene_.firstFrame = leadingInteger(value);
    } else if (keyword == "PreviewLastFrame") {
        scene_.lastFrame = leadingInteger(value);
    } else if (keyword == "FramesPerSecond") {
        scene_.framesPerSecond = leadingInteger(value);
    } else {
        return false;
    }
    return true;
}

// A channel block belongs to the bone or null object created last, unless
// an earlier block already ended its turn; blocks of other items (the
// object layer, lights, cameras) are met line by line and match nothing.
void SceneParser::readChannelsOfCurrentItem()
{
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
}

void SceneParser::addNullObject(std::string_view name)
{
    NullObject null;
    null.name = std::string(name);
    scene_.nullObjects.push_back(std::move(null));
    current_ = Item::Null;
    pendingKind_ = Item::Null;
    pendingIndex_ = scene_.nullObjects.size() - 1;
}

// The bone keywords act on the last bone created, also while a null object
// is the current item. Before the first AddBone they are ignored.
bool SceneParser::handleBoneKeyword(std::string_view keyword, std::string_view value)
{
    const bool isBoneKeyword = keyword == "BoneName" || keyword == "BoneRestPosition" ||
                               keyword == "BoneRestDirection" || keyword == "BoneWeightMapName";
    if (!isBoneKeyword) return false;
    if (scene_.bones.empty()) return true;
    Bone& bone = scene_.bones.back();
    if (keyword == "BoneName") {
        bone.name = std::string(value);
    } else if (keyword == "BoneRestPosition") {
        scanThreeFloats(value, bone.restPosition.x, bone.restPosition.y, bone.restPosition.z);
    } else if (keyword == "BoneRestDirection") {
        scanThreeFloats(value, bone.restDirection.x, bone.restDirection.y, bone.restDirection.z);
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

std::optional<Scene> readSceneFile(const std::string& path, SceneFlavour flavour, Reporter& report, unsigned threads)
{
    std::string text;
    std::string reason;
    if (!readWholeFile(path, text, reason)) {
        report.error("cannot open scene file '" + path + "': " + reason);
        return std::nullopt;
    }
    return parseScene(text, flavour, report, path, threads);
}

} // namespace

Scene parseScene(std::string_view text, SceneFlavour flavour, Reporter& report, std::string_view sourceName,
                 unsigned threads)
{
    return SceneParser(text, flavour, report, sourceName, threads).parse();
}

std::optional<Scene> readScene(const std::string& path, Reporter& report, unsigned threads)
{
    return readSceneFile(path, SceneFlavour::Full, report, threads);
}

std::optional<Scene> readSceneBones(const std::string& path, Reporter& report)
{
    return readSceneFile(path, SceneFlavour::BonesOnly, report, 1);
}

} // namespace lwmd5
