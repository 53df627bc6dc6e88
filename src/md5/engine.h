#pragma once

#include <optional>
#include <string_view>

namespace lwmd5 {

// The engines whose rules the programs know. None asks for no one engine's:
// the converters' own output, and md5inspect's checks for any engine.
enum class Engine {
    None,
    Doom3, // id Tech 4: Doom 3, dhewm3
    Bfg,   // Doom 3 BFG Edition: id Tech 4 with a renderer of narrower limits
};

// The engine of an --engine value ("doom3", "bfg"); nothing for another.
inline std::optional<Engine> engineNamed(std::string_view name)
{
    if (name == "doom3") return Engine::Doom3;
    if (name == "bfg") return Engine::Bfg;
    return std::nullopt;
}

} // namespace lwmd5
