#include "causes.h"

namespace z80 {

std::vector<Diagnostic> causesFirst(std::vector<Diagnostics::Message> errors, size_t *following) {
    *following = 0;
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
    std::vector<Diagnostic> out = Diagnostics::inOrder(std::move(causes));
    for (Diagnostic &d : Diagnostics::inOrder(std::move(before)))
        out.push_back(std::move(d));
    *following = Diagnostics::inOrder(std::move(after)).size();
    return out;
}

} // namespace z80
