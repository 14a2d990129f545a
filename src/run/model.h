#pragma once
// The calculators the runner models: the TI-83 Plus (the default) and the
// TI-84 Plus, whose programs may ask for 15 MHz and use its crystal timers,
// clock, extra RAM pages and the ports that tell one model from the other.

#include <optional>
#include <string>

namespace run {

enum class Model { Ti83Plus, Ti84Plus };

inline std::string modelName(Model m) {
    return m == Model::Ti84Plus ? "TI-84 Plus" : "TI-83 Plus";
}

// "83p" and "84p", as the command line names them.
inline std::optional<Model> modelFromName(const std::string &name) {
    if (name == "83p" || name == "83+")
        return Model::Ti83Plus;
    if (name == "84p" || name == "84+")
        return Model::Ti84Plus;
    return std::nullopt;
}

} // namespace run
