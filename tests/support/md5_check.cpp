#include "support/md5_check.h"

#include "inspect/rules.h"

namespace lwmd5::testing {

namespace {

std::string firstComplaint(const std::optional<Md5ReadError>& error, const std::vector<Finding>& findings)
{
    if (error) return "line " + std::to_string(error->line) + ": " + error->text;
    for (const Finding& f : findings) {
        if (f.severity == Severity::Error) return "line " + std::to_string(f.line) + ": " + f.text + " [" + std::string(f.rule) + "]";
    }
    return {};
}

} // namespace

std::string engineComplaint(std::string_view text, Md5ModelFile& model)
{
    const std::optional<Md5ReadError> error = parseMd5Model(text, model);
    return firstComplaint(error, error ? std::vector<Finding>{} : checkModel(model, Engine::Doom3));
}

std::string engineComplaint(std::string_view text, Md5AnimFile& anim)
{
    const std::optional<Md5ReadError> error = parseMd5Anim(text, anim);
    return firstComplaint(error, error ? std::vector<Finding>{} : checkAnim(anim, Engine::Doom3));
}

} // namespace lwmd5::testing
