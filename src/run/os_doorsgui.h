#pragma once
// Doors CS's GUI stack (its SDK's GUI API): windows, text, buttons and
// hotspots pushed as typed entries, drawn to the graph buffer, and a mouse
// moved with the arrows that jumps to what a click lands on (os_doorsgui.cpp).

#include "run/os.h"

#include <string>

namespace run {

struct DoorsGui {
    using Result = Os::Result;
    static Result openGUIStack(Os &os, Machine &m);
    static Result closeGUIStack(Os &os, Machine &m);
    static Result pushGUIStack(Os &os, Machine &m);
    static Result popGUIStack(Os &os, Machine &m);
    static Result popGUIStacks(Os &os, Machine &m);
    static Result renderGUI(Os &os, Machine &m);
    static Result guiMouse(Os &os, Machine &m);

private:
    // The buffer on the screen, with the mouse's arrow over it if asked.
    static void show(Os &os, Machine &m, bool mouse);
    static Result notDrawn(Os &os, Machine &m, const std::string &what);
};

} // namespace run
