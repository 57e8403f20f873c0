#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "settings/SignsFile.h"

// Which named signs a message goes to: some by name, those of a tag, or all of them. The CLI's
// send and the gateway's choose alike.
struct SignSelection {
    std::vector<std::string> names;
    std::optional<std::string> tag;
    bool all = false;

    // Exactly one of the three is given.
    bool OneChoice() const;
};

// Why a selection chooses no sign.
struct SelectionFault {
    enum class Kind { kNotOneChoice, kUnknownName, kUnknownTag };
    Kind kind = Kind::kNotOneChoice;
    std::string what;  // the name or tag

    // "there is no sign named "X"", "no sign carries the tag "T""; empty for kNotOneChoice, whose
    // words are the caller's (its options or fields).
    std::string Text() const;
};

// The signs chosen, each once: named ones in the order given (names without regard to case),
// a tag's and all in the list's order. An unknown name, or a tag no sign carries, is a fault.
std::variant<std::vector<NamedSign>, SelectionFault> ResolveSelection(
    const SignSelection& selection, const std::vector<NamedSign>& signs);
