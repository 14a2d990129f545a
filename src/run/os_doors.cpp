// Doors CS's library (its developer's SDK and dcs7.inc). Doors CS starts a
// program after `xor d / ret` (the bytes that stop it when run from the home
// screen), at its `jr`, and answers MirageOS's and Ion's routines at
// MirageOS's addresses (4083h on, os_mirage.cpp), with its own after them.
// Those whose effect is plain from their documented inputs are answered:
// ResetAppPage (4000h) gives back the page its GUI used, here none; VDispHL
// writes HL in decimal in the small font at the pen; hDetect finds no
// program, as ionDetect; PlaySound plays nothing (no speaker); Pause waits
// for a key press, as the OS's key wait does; the GUI stack, RenderGUI and
// GUIMouse are in os_doorsgui.cpp. Its old window routines, GUIFindFirst and
// the rest, CALCnet and the file dialogs are not answered here: a program
// calling them stops with the routine's name.

#include "run/costs.h"
#include "run/hex.h"
#include "run/os.h"
#include "run/os_doorsgui.h"

#include <iterator>
#include <string>

namespace run {

struct DoorsLibrary {
    using Result = Os::Result;

    static Result resetAppPage(Os &, Machine &) { return Result::Done; }
    static Result playSound(Os &, Machine &m) {
        m.idle(cost::kCall);
        return Result::Done;
    }
    static Result vDispHL(Os &os, Machine &m) {
        for (char c : std::to_string(m.reg(Reg::HL)))
            os.vPutMap(m, std::uint8_t(c));
        return Result::Done;
    }
    static Result pause(Os &os, Machine &m) {
        m.enableInterrupts();
        const std::optional<int> key = m.keypad().takePress(m.time6());
        if (!key)
            return os.waitForKey(m);
        return *key == 0 ? Result::Wait : Result::Done;
    }
    static Result hDetect(Os &, Machine &m) {
        m.setFlags(0x00);
        m.idle(500);
        return Result::Done;
    }

    static constexpr Os::ShellRoutine kRoutines[] = {
        {0x4000, "ResetAppPage", resetAppPage},
        {0x41D6, "Small_Window", nullptr},
        {0x41D9, "ClrDialogFull", nullptr},
        {0x41DC, "LargeWindow", nullptr},
        {0x41DF, "ClrWinFull", nullptr},
        {0x41E2, "PlaySound", playSound},
        {0x41E5, "VDispHL", vDispHL},
        {0x41E8, "Pause", pause},
        {0x41EB, "hDetect", hDetect},
        {0x41EE, "OpenGUIStack", DoorsGui::openGUIStack},
        {0x41F1, "CloseGUIStack", DoorsGui::closeGUIStack},
        {0x41F4, "PushGUIStack", DoorsGui::pushGUIStack},
        {0x41F7, "PopGUIStack", DoorsGui::popGUIStack},
        {0x41FA, "RenderGUI", DoorsGui::renderGUI},
        {0x41FD, "PopGUIStacks", DoorsGui::popGUIStacks},
        {0x4200, "GUIMouse", DoorsGui::guiMouse},
        {0x4203, "GUIFindFirst", nullptr},
        {0x4206, "GUIFindNext", nullptr},
        {0x4209, "Cn2_Setup", nullptr},
        {0x420C, "Cn2_Clear_SendBuf", nullptr},
        {0x420F, "Cn2_Clear_RecBuf", nullptr},
        {0x4212, "Cn2_Setdown", nullptr},
        {0x4215, "FileOpen", nullptr},
        {0x4218, "FileSave", nullptr},
        {0x421B, "FileSaveAs", nullptr},
        {0x421E, "DispLongInt", nullptr},
        {0x4221, "Cn2_GetK", nullptr},
        {0x4224, "DPutMap", nullptr},
        {0x4227, "APGui_gui7ToTop", nullptr},
        {0x422A, "PushGUIStacks", nullptr},
        {0x422D, "GUIFindThis", nullptr},
    };
};

void Os::addDoorsCalls() {
    addMirageCalls();
    addShellRoutines(std::begin(DoorsLibrary::kRoutines), std::size(DoorsLibrary::kRoutines));
}

// What the shell's library holds at `pc` and why it stops the run: a routine
// of its header this runner does not answer (the GUI's are said to be the
// GUI's), or an address between routines.
std::string Os::unansweredShellRoutine(Machine &m, std::uint16_t pc) const {
    const auto name = m_shellNames.find(pc);
    const std::string from = hex4(std::uint16_t(m.readWord(m.reg(Reg::SP)) - 3));
    if (name == m_shellNames.end())
        return "the program called " + m_shell + "'s library at " + hex4(pc) + " from " + from +
               ", where none of its routines starts";
    const bool gui = m_shell == "Doors CS" && ((pc >= 0x41D6 && pc <= 0x41DF) ||
                                               (pc >= 0x41EE && pc <= 0x4206) || pc >= 0x4227);
    return "the program called " + m_shell + "'s " + (gui ? "GUI routine " : "routine ") +
           name->second + " at " + hex4(pc) + " from " + from +
           ", one this runner does not answer" +
           (gui ? " (of Doors CS's GUI, this runner answers the stack, RenderGUI and GUIMouse)"
                : "");
}

} // namespace run
