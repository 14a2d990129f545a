#pragma once
// What the files of the editor's language features (language.cpp and
// language_*.cpp) say alike: values in hex, problems as their marks say
// them, and the completion lists an analysis gives.

#include "ui/analysisrunner.h"

#include <QString>

#include <cstdint>
#include <string>

namespace languageparts {

QString hex(std::int64_t v);
QString q(const std::string &s);
// A problem as its mark and hover say it, with what led to it when the
// place of that is elsewhere.
QString message(const z80::Diagnostic &p);
// The completion lists of an analysis: symbols with their values, and the
// language's words, in the control's caseless order (language_completion.cpp).
CompletionLists buildCompletion(const z80::Analysis &analysis);

} // namespace languageparts
