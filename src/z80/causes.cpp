#include "causes.h"

namespace z80 {

std::vector<std::string> causesFirst(std::vector<Diagnostics::Message> errors) {
    size_t firstCause = SIZE_MAX;
    for (const Diagnostics::Message &m : errors)
        if (m.cause)
            firstCause = std::min(firstCause, m.place);
    if (firstCause == SIZE_MAX)
        return Diagnostics::inOrder(std::move(errors));
    std::vector<Diagnostics::Message> causes, before, after;
    for (Diagnostics::Message &m : errors) {
        if (m.cause)
            causes.push_back(std::move(m));
        else if (m.place < firstCause)
            before.push_back(std::move(m));
        else
            after.push_back(std::move(m));
    }
    std::vector<std::string> out = Diagnostics::inOrder(std::move(causes));
    for (std::string &line : Diagnostics::inOrder(std::move(before)))
        out.push_back(std::move(line));
    const size_t echoes = Diagnostics::inOrder(std::move(after)).size();
    if (echoes > 0)
        out.push_back("... and " + std::to_string(echoes) + " more error" +
                      (echoes == 1 ? "" : "s") +
                      " after the first above, which may follow from "
                      "it: mend it and build again");
    return out;
}

} // namespace z80
