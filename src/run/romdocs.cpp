// The texts are ours, written from what src/run/os_*.cpp does and checked
// against the effects, inputs, outputs and destroyed registers TI's "TI-83
// Plus System Routines" (SDK, third release, 2002) and WikiTI's pages
// (wikiti.brandonw.net, 83Plus:BCALLs:ADDRESS) give for each call. Where the
// runner does less than the calculator it says so. "Destroys" errs towards
// naming more registers: a program that keeps one across a call that TI says
// keeps it loses nothing.

#include "run/romdocs.h"

#include "run/romtable.h"

#include <algorithm>
#include <cctype>

namespace run {

namespace {

constexpr const char *kAll = "AF, BC, DE, HL";

std::vector<RomCallDoc> written() {
    return {
        // The home screen: 16 columns by 8 rows of the large font.
        {"_ClrLCDFull", "Clears the whole screen (the graph buffer is untouched).", "", "", kAll},
        {"_ClrLCD", "Clears the screen (the whole of it: this runner has no split screen).", "", "",
         kAll},
        {"_ClrScrnFull", "Clears the screen and fills the text shadow (textShadow) with spaces.",
         "", "", kAll},
        {"_ClrScrn", "Clears the screen and the text shadow, as _ClrScrnFull.", "", "", kAll},
        {"_ClrTxtShd", "Fills the text shadow (textShadow, 128 bytes) with spaces.", "", "", kAll},
        {"_HomeUp", "Puts the cursor at the top left: row 0, column 0.", "",
         "curRow = 0, curCol = 0", "none"},
        {"_PutMap", "Draws character A at the cursor in the large font; the cursor stays.",
         "A = character; curRow, curCol", "", "none"},
        {"_PutC",
         "Draws character A at the cursor and moves the cursor on, to the next row after column "
         "15 (scrolling at the bottom when appAutoScroll is set); D6h starts a new line.",
         "A = character; curRow, curCol", "curRow, curCol moved", "none"},
        {"_PutS",
         "Displays the 0-terminated string at HL from the cursor, each character as _PutC.",
         "HL = string", "HL = the byte after the terminating 0; curRow, curCol moved", "AF"},
        {"_PutPS", "Displays the string at HL whose first byte is its length, as _PutC.",
         "HL = length byte, then the characters",
         "HL = the byte after the string; curRow, curCol moved", "AF, B"},
        {"_NewLine",
         "Moves the cursor to column 0 of the next row; at the bottom it scrolls when "
         "appAutoScroll is set, else goes to row 0.",
         "curRow", "curRow, curCol = 0", "AF"},
        {"_EraseEOL", "Writes spaces from the cursor to the end of its row; the cursor stays.",
         "curRow, curCol", "", "AF, BC"},
        {"_DispHL", "Displays HL as an unsigned decimal number, right-aligned in 5 characters.",
         "HL = number; curRow, curCol", "curRow, curCol moved", kAll},
        {"_DispDone",
         "Shows \"Done\" at the right of the cursor's row, as a program's end does, "
         "and starts a new line.",
         "", "curRow, curCol", kAll},
        {"_DispOP1A", "Displays the real number in OP1 at the cursor, at most A characters wide.",
         "OP1 = real; A = width", "curRow, curCol moved", "AF, BC, DE, HL, OP1-OP3"},
        {"_FormDisp",
         "Displays the real number in OP1 as Disp does: right-justified on the cursor's row "
         "(at most 16 characters), then the cursor at the start of the next row. This runner "
         "shows real numbers only.",
         "OP1 = real; curRow", "curRow = the next row; curCol = 0", "AF, BC, DE, HL, OP1-OP6"},
        // The small font at the pen.
        {"_VPutMap", "Draws character A in the small font at the pen and moves the pen past it.",
         "A = character; penCol, penRow", "penCol moved; carry set when it did not fit",
         "AF, DE, IX"},
        {"_VPutS", "Draws the 0-terminated string at HL in the small font from the pen.",
         "HL = string; penCol, penRow",
         "HL = the byte after the terminating 0; penCol moved; carry set when a character did "
         "not fit",
         "AF, DE, IX"},
        {"_SStringLength", "The width in pixels of a string drawn in the small font.",
         "HL = the string, its length in its first byte", "A = B = the width; HL kept", "AF, B"},
        {"_VPutSN", "Draws B characters from HL in the small font from the pen.",
         "HL = characters; B = how many; penCol, penRow", "HL = the byte after them; penCol moved",
         "AF, B, DE, IX"},
        // The graph buffer and the screen's pixels.
        {"_GrBufClr", "Clears the graph buffer (plotSScreen, 768 bytes); the screen is untouched.",
         "", "", kAll},
        {"_GrBufCpy", "Copies the graph buffer (plotSScreen) to the screen.", "", "", kAll},
        {"_BufCpy", "Copies the 768-byte picture at HL (12 bytes a row) to the screen.",
         "HL = picture", "", kAll},
        {"_SaveDisp", "Copies the screen into the 768 bytes at HL (12 bytes a row).",
         "HL = where to", "", kAll},
        {"_RestoreDisp", "Copies the 768-byte picture at HL back to the screen.", "HL = picture",
         "", kAll},
        {"_IPoint",
         "Changes the pixel at column B, row C (0 at the bottom) of the graph buffer and, unless "
         "bufferOnly is set, the screen, by D: 0 off, 1 on, 2 invert, 3 test, 4 copy the "
         "buffer's pixel to the screen.",
         "B = column 0-95; C = row 0-63 from the bottom; D = mode",
         "with D = 3: Z set when the pixel is off", kAll},
        {"_ILine",
         "Draws a line from (B, C) to (D, E), columns and rows from the bottom left, "
         "by H: 0 off, 1 on, 2 invert.",
         "B, C = one end; D, E = the other; H = mode", "", kAll},
        {"_DarkLine", "Draws a line of dark pixels from (B, C) to (D, E), rows from the bottom.",
         "B, C = one end; D, E = the other", "", kAll},
        {"_DrawRectBorder",
         "Turns on the border of the screen's rectangle from row H, column L to row D, column E.",
         "H, L = top left; D, E = bottom right (both included)", "", kAll},
        {"_DelRes", "Marks the statistics results as no longer valid (statsValid of statFlags).",
         "", "", kAll},
        {"_ForceFullScreen",
         "Leaves a split screen for the full screen (grfSplit and vertSplit of sGrFlags cleared).",
         "", "", kAll},
        {"_ClearRect", "Turns off the screen's pixels from row H, column L to row D, column E.",
         "H, L = top left; D, E = bottom right (both included)", "", kAll},
        {"_FillRect", "Turns on the screen's pixels from row H, column L to row D, column E.",
         "H, L = top left; D, E = bottom right (both included)", "", kAll},
        {"_InvertRect", "Inverts the screen's pixels from row H, column L to row D, column E.",
         "H, L = top left; D, E = bottom right (both included)", "", kAll},
        {"_LCD_BUSY", "Waits until the display driver takes the next byte (here it always does).",
         "", "", "none"},
        // Indicators and flags.
        {"_RunIndicOff", "Turns off the run indicator at the top right (indicRun of indicFlags).",
         "", "", "none"},
        {"_RunIndicOn", "Turns on the run indicator at the top right (indicRun of indicFlags).", "",
         "", "none"},
        {"_CursorOff", "Hides the blinking cursor (curOn of curFlags).", "", "", "none"},
        {"_CursorOn", "Shows the blinking cursor (curOn of curFlags).", "", "", "none"},
        {"_DisableApd",
         "Turns off automatic power down, so _GetKey waits without switching the calculator off "
         "(apdAble of apdFlags).",
         "", "", "none"},
        {"_EnableApd", "Turns automatic power down back on (apdAble of apdFlags).", "", "", "none"},
        // Keys.
        {"_GetCSC",
         "The scan code of the key pressed since the last call, 0 when none; does not wait.", "",
         "A = scan code (skEnter...), 0 for none", "AF, HL"},
        {"_GetKey",
         "Waits for a key and gives its key code with 2nd and ALPHA applied; turns interrupts "
         "on. The runner stops a run whose key list has ended here.",
         "", "A = key code (kEnter...); 0 when ON broke the wait", kAll},
        {"_KeyToString", "The text a key code types, as a string whose first byte is its length.",
         "A = key code", "HL = the string (at keyForStr)", kAll},
        {"_EnableRawKeyHook",
         "Installs the raw key hook at HL on page A and sets its flag (the runner keeps it but "
         "calls no hook).",
         "HL = hook; A = page", "", "AF"},
        {"_DisableRawKeyHook", "Turns off the raw key hook's flag.", "", "", "AF"},
        {"_EnableGetKeyHook",
         "Installs the GetKey hook at HL on page A and sets its flag (the runner keeps it but "
         "calls no hook).",
         "HL = hook; A = page", "", "AF"},
        {"_DisableGetKeyHook", "Turns off the GetKey hook's flag.", "", "", "AF"},
        // Whole numbers.
        {"_DivHLBy10", "Divides HL by 10.", "HL", "HL = quotient; A = remainder", "F, DE"},
        {"_DivHLByA", "Divides HL by A (nothing changes when A is 0).", "HL; A = divisor",
         "HL = quotient; A = remainder", "F, DE"},
        {"_Div32By16",
         "Divides the 32-bit number in OP1's first 4 bytes (most significant first) by DE; "
         "the runner stops at a division by zero.",
         "OP1 bytes 0-3 = dividend; DE = divisor",
         "OP1 bytes 0-3 = quotient; OP2 bytes 0-3 = remainder", kAll},
        {"_CpHLDE", "Compares HL with DE as unsigned numbers; both keep their values.", "HL, DE",
         "Z set when equal; carry set when HL < DE", "F"},
        {"_HTimesL", "HL = H * L.", "H, L", "HL = product", "F"},
        {"_HLTimes9", "Multiplies HL by 9 (modulo 65536).", "HL", "HL = HL * 9", "F, BC"},
        {"_LdHLind", "Loads the word HL points to.", "HL = address", "HL = (HL); A = L", "F"},
        // Real numbers in the OP registers.
        {"_FPAdd", "OP1 = OP1 + OP2 (rst 30h is the same call).", "OP1, OP2 = reals", "OP1 = sum",
         "AF, BC, DE, HL, OP1-OP3"},
        {"_FPSub", "OP1 = OP1 - OP2.", "OP1, OP2 = reals", "OP1 = difference",
         "AF, BC, DE, HL, OP1-OP3"},
        {"_FPMult", "OP1 = OP1 * OP2.", "OP1, OP2 = reals", "OP1 = product",
         "AF, BC, DE, HL, OP1-OP3"},
        {"_FPDiv", "OP1 = OP1 / OP2; ERR:DIVIDE BY 0 when OP2 is 0.", "OP1, OP2 = reals",
         "OP1 = quotient", "AF, BC, DE, HL, OP1-OP3"},
        {"_FPSquare", "OP1 = OP1 * OP1.", "OP1 = real", "OP1 = square", "AF, BC, DE, HL, OP1-OP3"},
        {"_FPRecip", "OP1 = 1 / OP1; ERR:DIVIDE BY 0 when OP1 is 0.", "OP1 = real",
         "OP1 = reciprocal", "AF, BC, DE, HL, OP1-OP3"},
        {"_SqRoot", "OP1 = the square root of OP1; an error for a negative number.", "OP1 = real",
         "OP1 = root", "AF, BC, DE, HL, OP1-OP6"},
        {"_LnX", "OP1 = the natural logarithm of OP1; ERR:DOMAIN for 0 or a negative number.",
         "OP1 = real", "OP1 = ln", kAll},
        {"_LogX",
         "OP1 = the common (base 10) logarithm of OP1; ERR:DOMAIN for 0 or a negative number.",
         "OP1 = real", "OP1 = log", kAll},
        {"_EToX", "OP1 = e to the power OP1; ERR:OVERFLOW past 1E100.", "OP1 = real", "OP1 = e^x",
         kAll},
        {"_TenX", "OP1 = 10 to the power OP1; ERR:OVERFLOW past 1E100.", "OP1 = real", "OP1 = 10^x",
         kAll},
        {"_Sin",
         "OP1 = the sine of OP1, in degrees when trigDeg (bit 2 of IY+0) is set, else radians.",
         "OP1 = angle", "OP1 = sine", "AF, BC, DE, HL, OP1-OP5"},
        {"_Cos", "OP1 = the cosine of OP1, in the angle mode as _Sin.", "OP1 = angle",
         "OP1 = cosine", "AF, BC, DE, HL, OP1-OP5"},
        {"_Tan",
         "OP1 = the tangent of OP1, in the angle mode as _Sin; ERR:DOMAIN where the cosine is 0 "
         "(90 degrees).",
         "OP1 = angle", "OP1 = tangent", "AF, BC, DE, HL, OP1-OP5"},
        {"_ASin",
         "OP1 = the arcsine of OP1, in the angle mode as _Sin; ERR:DOMAIN outside -1 to 1.",
         "OP1 = real", "OP1 = angle", "AF, BC, DE, HL, OP1-OP5"},
        {"_ACos",
         "OP1 = the arccosine of OP1, in the angle mode as _Sin; ERR:DOMAIN outside -1 to 1.",
         "OP1 = real", "OP1 = angle", "AF, BC, DE, HL, OP1-OP5"},
        {"_ATan", "OP1 = the arctangent of OP1, in the angle mode as _Sin.", "OP1 = real",
         "OP1 = angle", "AF, BC, DE, HL, OP1-OP5"},
        {"_SinCosRad", "The sine and the cosine of OP1 in radians, whatever the angle mode.",
         "OP1 = angle in radians", "OP1 = sine; OP2 = cosine", "AF, BC, DE, HL, OP1-OP5"},
        {"_ASinRad", "OP1 = the arcsine of OP1 in radians; ERR:DOMAIN outside -1 to 1.",
         "OP1 = real", "OP1 = radians", "AF, BC, DE, HL, OP1-OP5"},
        {"_ACosRad", "OP1 = the arccosine of OP1 in radians; ERR:DOMAIN outside -1 to 1.",
         "OP1 = real", "OP1 = radians", "AF, BC, DE, HL, OP1-OP5"},
        {"_ATanRad", "OP1 = the arctangent of OP1 in radians.", "OP1 = real", "OP1 = radians",
         "AF, BC, DE, HL, OP1-OP5"},
        {"_SinH", "OP1 = the hyperbolic sine of OP1; ERR:OVERFLOW past 1E100.", "OP1 = real",
         "OP1 = sinh", "AF, BC, DE, HL, OP1-OP5"},
        {"_CosH", "OP1 = the hyperbolic cosine of OP1; ERR:OVERFLOW past 1E100.", "OP1 = real",
         "OP1 = cosh", "AF, BC, DE, HL, OP1-OP5"},
        {"_TanH", "OP1 = the hyperbolic tangent of OP1.", "OP1 = real", "OP1 = tanh",
         "AF, BC, DE, HL, OP1-OP5"},
        {"_ASinH", "OP1 = the inverse hyperbolic sine of OP1.", "OP1 = real", "OP1 = asinh",
         "AF, BC, DE, HL, OP1-OP5"},
        {"_ACosH", "OP1 = the inverse hyperbolic cosine of OP1; ERR:DOMAIN below 1.", "OP1 = real",
         "OP1 = acosh", "AF, BC, DE, HL, OP1-OP5"},
        {"_ATanH", "OP1 = the inverse hyperbolic tangent of OP1; ERR:DOMAIN outside -1 to 1.",
         "OP1 = real", "OP1 = atanh", "AF, BC, DE, HL, OP1-OP5"},
        {"_DToR", "OP1 = OP1 degrees in radians (times pi/180).", "OP1 = degrees", "OP1 = radians",
         "AF, BC, DE, HL, OP1-OP3"},
        {"_RToD", "OP1 = OP1 radians in degrees (times 180/pi); ERR:OVERFLOW past 1E100.",
         "OP1 = radians", "OP1 = degrees", "AF, BC, DE, HL, OP1-OP3"},
        {"_InvSub", "OP1 = OP2 - OP1.", "OP1, OP2 = reals", "OP1 = difference",
         "AF, BC, DE, HL, OP1-OP3"},
        {"_AbsO1PAbsO2", "OP1 = |OP1| + |OP2|.", "OP1, OP2 = reals", "OP1 = sum",
         "AF, BC, DE, HL, OP1-OP3"},
        {"_AbsO1O2Cp", "Compares |OP1| with |OP2|.", "OP1, OP2 = reals",
         "Z set when equal; carry set when |OP1| < |OP2|", kAll},
        {"_YToX",
         "OP1 = OP1 to the power OP2; ERR:DOMAIN for 0^0, ERR:DIVIDE BY 0 for 0 to a negative "
         "power, ERR:NONREAL ANS for a negative number to a power that is not whole, "
         "ERR:OVERFLOW past 1E100.",
         "OP1 = base; OP2 = exponent", "OP1 = power", "AF, BC, DE, HL, OP1-OP6"},
        {"_Plus1", "OP1 = OP1 + 1.", "OP1 = real", "OP1", "AF, BC, DE, HL, OP2"},
        {"_Minus1", "OP1 = OP1 - 1.", "OP1 = real", "OP1", "AF, BC, DE, HL, OP2"},
        {"_Times2", "OP1 = OP1 * 2.", "OP1 = real", "OP1", "AF, BC, DE, HL, OP2"},
        {"_TimesPt5", "OP1 = OP1 / 2.", "OP1 = real", "OP1", "AF, BC, DE, HL, OP2"},
        {"_Intgr", "OP1 = the greatest whole number not above OP1 (int(-2.5) is -3).", "OP1 = real",
         "OP1", kAll},
        {"_Int", "OP1 = the greatest whole number not above OP1, as _Intgr.", "OP1 = real", "OP1",
         kAll},
        {"_Trunc", "OP1 = OP1 without its fraction, toward 0 (iPart).", "OP1 = real", "OP1", kAll},
        {"_Frac", "OP1 = the fraction of OP1 (fPart), with OP1's sign.", "OP1 = real", "OP1", kAll},
        {"_InvOP1S", "OP1 = -OP1.", "OP1 = real", "OP1", "AF"},
        {"_ClrOP1S", "Clears OP1's sign bit: OP1 = |OP1|.", "OP1 = real", "OP1", "AF"},
        {"_ClrOP2S", "Clears OP2's sign bit: OP2 = |OP2|.", "OP2 = real", "OP2", "AF"},
        {"_Min", "OP1 = the smaller of OP1 and OP2.", "OP1, OP2 = reals", "OP1", kAll},
        {"_Max", "OP1 = the larger of OP1 and OP2.", "OP1, OP2 = reals", "OP1", kAll},
        {"_InvOP2S", "OP2 = -OP2.", "OP2 = real", "OP2", "AF"},
        {"_CpOP1OP2", "Compares OP1 with OP2 as reals.", "OP1, OP2 = reals",
         "Z set when equal; carry set when OP1 < OP2", kAll},
        {"_CkOP1FP0", "Tests whether OP1 is 0.", "OP1 = real", "Z set when OP1 is 0", "AF, HL"},
        {"_CkOP1Pos", "Tests whether OP1 is positive or 0 (its sign bit clear).", "OP1 = real",
         "Z set when OP1 is not negative", "AF"},
        {"_CkOP2FP0", "Tests whether OP2 is 0.", "OP2 = real", "Z set when OP2 is 0", "AF, HL"},
        {"_CkOP1Real", "The type of the value in OP1.", "OP1",
         "A = type (low 5 bits of OP1's first byte); Z set when it is a real", "AF"},
        {"_CkOP1Cplx", "Tests whether OP1 holds a complex number (type 0Ch).", "OP1",
         "Z set when it does", "AF"},
        {"_CkInt", "Tests whether OP1 is a whole number.", "OP1 = real", "Z set when it is",
         "AF, BC, DE, HL"},
        {"_CkPosInt", "Tests whether OP1 is a whole number above 0.", "OP1 = real",
         "Z set when it is", "AF, BC, DE, HL"},
        {"_CkValidNum",
         "Checks a result in OP1: beyond 1E99 is ERR:OVERFLOW, below 1E-99 becomes 0.",
         "OP1 = real", "OP1", "AF, HL"},
        {"_SetXXOP1", "OP1 = the real number A (0 to 255).", "A", "OP1", kAll},
        {"_SetXXOP2", "OP2 = the real number A (0 to 255).", "A", "OP2", kAll},
        {"_SetXXXXOP2", "OP2 = the real number HL (0 to 65535).", "HL", "OP2", kAll},
        {"_ConvOP1",
         "The whole part of the real in OP1 as a 16-bit number; ERR:DOMAIN outside 0 to 65535.",
         "OP1 = real", "DE = value; A = E", kAll},
        {"_FormReal", "Writes the real in OP1 as text, at most A characters (14 when A is 0).",
         "OP1 = real; A = width", "OP3 = the text, 0-terminated; BC = its length",
         "AF, DE, HL, OP1-OP6"},
        {"_Random", "OP1 = a random number between 0 and 1, as rand gives, from the seeds.",
         "seed1, seed2", "OP1; seeds moved on", "AF, BC, DE, HL, OP1-OP6"},
        {"_RandInit", "Seeds the random numbers as a reset of the calculator does.", "",
         "seed1, seed2", kAll},
        // Bytes.
        {"_Mov9ToOP1", "Copies 9 bytes from HL to OP1 (rst 20h is the same call).", "HL = source",
         "OP1; HL += 9; DE = OP1 + 9", "BC"},
        {"_Mov9ToOP2", "Copies 9 bytes from HL to OP2.", "HL = source",
         "OP2; HL += 9; DE = OP2 + 9", "BC"},
        {"_Mov9B", "Copies 9 bytes from HL to DE.", "HL = source; DE = target", "HL += 9; DE += 9",
         "BC"},
        {"_MovFrOP1", "Copies the 9 bytes of OP1 to DE.", "DE = target", "DE += 9", "BC, HL"},
        {"_MemSet", "Fills BC bytes from HL with A.", "HL = start; BC = count; A = byte", "", kAll},
        {"_MemClear", "Fills BC bytes from HL with 0.", "HL = start; BC = count", "", kAll},
        {"_CpyO1ToFPST",
         "Copies OP1 over the top entry of the floating-point stack (FPST); the runner stops "
         "the run when the stack is empty.",
         "OP1; FPS", "FPST = OP1", "BC, DE, HL"},
        {"_CpyO1ToFPS1",
         "Copies OP1 over the entry below the top of the floating-point stack (FPS1); the "
         "runner stops the run when the stack holds fewer than 2 entries.",
         "OP1; FPS", "FPS1 = OP1", "BC, DE, HL"},
        {"_DeallocFPS",
         "Takes HL entries off the floating-point stack (FPS moves down 9 * HL bytes); the "
         "runner stops the run when the stack holds fewer.",
         "HL = entries", "FPS", kAll},
        {"_DeallocFPS1", "Takes HL entries off the floating-point stack, as _DeallocFPS.",
         "HL = entries", "FPS", kAll},
        {"_AllocFPS",
         "Adds HL entries of 9 bytes to the floating-point stack; ERR:MEMORY when they "
         "do not fit.",
         "HL = number of entries", "FPS grows by 9 * HL", kAll},
        {"_AllocFPS1",
         "Adds HL entries of 9 bytes to the floating-point stack without checking the room.",
         "HL = number of entries", "FPS grows by 9 * HL", kAll},
        {"_StrLength", "The length of the 0-terminated string at HL, the 0 not counted.",
         "HL = string", "BC = length", "AF"},
        {"_StrCopy", "Copies the 0-terminated string at HL, its 0 included, to DE.",
         "HL = string; DE = target", "", kAll},
        // Variables.
        {"_FindSym", "Looks for the variable named in OP1 (rst 10h is the same call).",
         "OP1 = type and name",
         "carry set when there is none; else HL = its entry, DE = its data, B = 0 (in RAM), A = "
         "its type",
         kAll},
        {"_ChkFindSym", "Looks for the variable named in OP1, as _FindSym.", "OP1 = type and name",
         "carry set when there is none; else HL = its entry, DE = its data, B = 0 (in RAM), A = "
         "its type",
         kAll},
        {"_CreateReal", "Makes the real variable named in OP1 (9 bytes); ERR:MEMORY when full.",
         "OP1 = name", "HL = its entry; DE = its 9 bytes", kAll},
        {"_CreateProg",
         "Makes the program named in OP1 with HL bytes; its data starts with its size.",
         "OP1 = name; HL = size", "HL = its entry; DE = its size word, the bytes after it", kAll},
        {"_CreateProtProg", "Makes the protected program named in OP1 with HL bytes.",
         "OP1 = name; HL = size", "HL = its entry; DE = its size word, the bytes after it", kAll},
        {"_CreateAppVar", "Makes the application variable named in OP1 with HL bytes.",
         "OP1 = name; HL = size", "HL = its entry; DE = its size word, the bytes after it", kAll},
        {"_CreateStrng", "Makes the string variable named in OP1 with HL bytes.",
         "OP1 = name; HL = size", "HL = its entry; DE = its size word, the bytes after it", kAll},
        {"_CreateRList", "Makes the real list named in OP1 with HL elements (9 bytes each).",
         "OP1 = name; HL = number of elements",
         "HL = its entry; DE = its element count (a word), the elements after it", kAll},
        {"_CreateCList",
         "Makes the complex list named in OP1 with HL elements (18 bytes each: real part, then "
         "imaginary part).",
         "OP1 = name; HL = number of elements",
         "HL = its entry; DE = its element count (a word), the elements after it", kAll},
        {"_GetLToOP1",
         "OP1 = element HL (from 1) of the list whose data DE points to; of a complex list the "
         "real part in OP1 and the imaginary part in OP2. The runner stops the run when DE is no "
         "list's or HL is past its end.",
         "HL = element number; DE = the list's element count word", "OP1 (and OP2)", kAll},
        {"_PutToL",
         "Stores OP1 (a complex number: OP1 and OP2) in element HL (from 1) of the list whose "
         "data DE points to; stops the run as _GetLToOP1 does.",
         "OP1 (and OP2); HL = element number; DE = the list's element count word", "", kAll},
        {"_DelVar", "Deletes a variable and gives its memory back.",
         "HL = its entry; DE = its data (as _ChkFindSym gives them)", "", kAll},
        {"_DelVarArc", "Deletes a variable, archived or not, as _DelVar (here all are in RAM).",
         "HL = its entry; DE = its data; B = its page (as _ChkFindSym gives them)", "", kAll},
        {"_Arc_Unarc",
         "Moves the variable named in OP1 to the archive or back; this runner has no archive and "
         "leaves it in RAM. ERR:UNDEFINED when there is none of that name.",
         "OP1 = type and name", "", kAll},
        {"_EnoughMem", "Tests whether HL bytes are free.", "HL = bytes",
         "carry set when there are not; DE = HL", kAll},
        {"_MemChk", "The free memory.", "", "HL = free bytes", kAll},
        {"_InsertMem",
         "Makes room of HL bytes at DE inside the variables' memory; what lies above moves up.",
         "HL = size; DE = where", "", kAll},
        {"_DelMem",
         "Takes DE bytes at HL out of the variables' memory; what lies above moves down.",
         "HL = where; DE = size", "", kAll},
        {"_XName", "OP1 = the name of the real variable X.", "", "OP1", "AF, HL"},
        {"_YName", "OP1 = the name of the real variable Y.", "", "OP1", "AF, HL"},
        {"_TName", "OP1 = the name of the real variable T.", "", "OP1", "AF, HL"},
        {"_RName", "OP1 = the name of the real variable R.", "", "OP1", "AF, HL"},
        {"_StoX", "Stores OP1 in X (made when missing).", "OP1 = real", "OP1 kept", kAll},
        {"_StoY", "Stores OP1 in Y (made when missing).", "OP1 = real", "OP1 kept", kAll},
        {"_StoT", "Stores OP1 in T (made when missing).", "OP1 = real", "OP1 kept", kAll},
        {"_StoR", "Stores OP1 in R (made when missing).", "OP1 = real", "OP1 kept", kAll},
        {"_RclX", "OP1 = the value of X (0 when X does not exist).", "", "OP1", kAll},
        {"_RclY", "OP1 = the value of Y (0 when Y does not exist).", "", "OP1", kAll},
        {"_StoOther",
         "Pops the real on top of the floating-point stack into the real variable named in OP1 "
         "(made when missing).",
         "OP1 = name; FPS top = value", "OP1 = the value", kAll},
        {"_RclVarSym", "OP1 = the value of the variable named in OP1; ERR:UNDEFINED when missing.",
         "OP1 = name", "OP1", kAll},
        {"_StoAns", "Stores OP1 in Ans.", "OP1 = real", "", kAll},
        {"_RclAns", "OP1 = Ans.", "", "OP1", kAll},
        {"_AnsName",
         "OP1 = the name of Ans (a real variable named by the token 72h). This runner keeps Ans "
         "apart from the variables: _StoAns and _RclAns reach it, _FindSym does not find it.",
         "", "OP1 = 00h, 72h, 00h", "HL"},
        // The system.
        {"_GetBaseVer", "The OS's version.", "", "A = major; B = minor", "AF, B"},
        {"_FlashToRam",
         "Copies BC bytes of Flash page A from HL to DE (the runner has no Flash: it writes "
         "FFh).",
         "A = page; HL = source; DE = target; BC = count", "HL += BC; DE += BC", kAll},
        {"_FindApp",
         "Looks for the Flash application named in OP1 (the runner holds only the one "
         "running).",
         "OP1 = AppObj and the name",
         "carry clear: found, A = its first page; carry set: not found", kAll},
        {"_FindAppUp",
         "Finds the application whose name comes after OP1's (the runner holds only the one "
         "running).",
         "OP1 = a name", "carry clear: OP1 = the application's name; carry set: none", kAll},
        {"_FindAppDn",
         "Finds the application whose name comes before OP1's (the runner holds only the one "
         "running).",
         "OP1 = a name", "carry clear: OP1 = the application's name; carry set: none", kAll},
        {"_GetAppBasePage", "The first page of the application one of whose pages is A.",
         "A = a page of an application",
         "carry clear: A = its first page; carry set: no application's", "AF"},
        {"_SendAByte",
         "Sends A over the link port; with no cable (always, here) the calculator gives up with "
         "ERR:LINK.",
         "A = byte", "", kAll},
        {"_RecAByteIO",
         "Receives a byte over the link port; with no cable (always, here) the calculator gives "
         "up with ERR:LINK.",
         "", "A = byte", kAll},
        {"_JForceCmdNoChar",
         "Leaves the program for the home screen at once; the stack is not unwound.", "", "",
         "everything (it does not return)"},
    };
}

// The calls of a family, described from their names.
void addFamilies(std::vector<RomCallDoc> &docs) {
    const auto op = [](char digit) { return std::string("OP") + digit; };
    for (const RomCall &c : romCalls()) {
        const std::string n = c.name;
        if (n.size() == 9 && n.compare(0, 3, "_OP") == 0 && n.compare(4, 4, "ToOP") == 0)
            docs.push_back({n, "Copies the 11 bytes of " + op(n[3]) + " to " + op(n[8]) + ".",
                            op(n[3]), op(n[8]), "BC, DE, HL"});
        else if (n.size() == 9 && n.compare(0, 3, "_OP") == 0 && n.compare(4, 4, "ExOP") == 0)
            docs.push_back({n, "Swaps the 11 bytes of " + op(n[3]) + " and " + op(n[8]) + ".",
                            op(n[3]) + ", " + op(n[8]), op(n[3]) + ", " + op(n[8]), kAll});
        else if (n.size() == 8 && n.compare(0, 7, "_ZeroOP") == 0)
            docs.push_back({n,
                            "Sets the 11 bytes of " + op(n[7]) +
                                " to 0 (not the real number 0: that is _" + op(n[7]) + "Set0).",
                            "", op(n[7]), kAll});
        else if (n.size() >= 8 && n.compare(0, 3, "_OP") == 0 && n.compare(4, 3, "Set") == 0) {
            const std::string value = n.substr(7) == "A" ? "10" : n.substr(7);
            docs.push_back(
                {n, op(n[3]) + " = the real number " + value + ".", "", op(n[3]), "AF, HL"});
        } else if (n.compare(0, 9, "_PushReal") == 0 || n.compare(0, 7, "_PushOP") == 0)
            docs.push_back({n,
                            "Pushes the 9 bytes of " + op(n.back()) +
                                " onto the floating-point stack (FPS)" +
                                (n == "_PushRealO1" ? " (rst 18h is the same call)." : "."),
                            op(n.back()), "FPS grows by 9", kAll});
        else if (n.compare(0, 8, "_PopReal") == 0 || n.compare(0, 6, "_PopOP") == 0)
            docs.push_back(
                {n, "Pops the floating-point stack's top 9 bytes into " + op(n.back()) + ".", "FPS",
                 op(n.back()) + "; FPS shrinks by 9", kAll});
        else if (n.size() == 11 && n.compare(0, 6, "_CpyTo") == 0 && n.compare(7, 3, "FPS") == 0) {
            const std::string entry =
                n.back() == 'T' ? std::string("the top entry (FPST)")
                                : std::string("entry FPS") + n.back() + " (" + n.back() +
                                      (n.back() == '1' ? " entry" : " entries") + " below the top)";
            docs.push_back({n,
                            "Copies " + entry + " of the floating-point stack to " + op(n[6]) +
                                ", leaving the stack as it was; the runner stops the run when "
                                "the stack holds fewer entries.",
                            "FPS", op(n[6]), "BC, DE, HL"});
        }
    }
}

std::string folded(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

} // namespace

const std::vector<RomCallDoc> &romCallDocs() {
    static const std::vector<RomCallDoc> docs = [] {
        std::vector<RomCallDoc> all = written();
        addFamilies(all);
        return all;
    }();
    return docs;
}

const RomCallDoc *romCallDoc(std::string_view name) {
    const std::string key = folded(name);
    for (const RomCallDoc &d : romCallDocs())
        if (folded(d.name) == key)
            return &d;
    return nullptr;
}

std::string describe(const RomCallDoc &doc) {
    std::string text = doc.what;
    text += "\nIn: " + (doc.inputs.empty() ? std::string("nothing") : doc.inputs);
    if (!doc.outputs.empty())
        text += "\nOut: " + doc.outputs;
    text += "\nDestroys: " + doc.destroys;
    return text;
}

} // namespace run
