#include "fleet/SignSelection.h"

#include <algorithm>

namespace {

bool Carries(const NamedSign& sign, const std::string& tag) {
    return std::any_of(sign.tags.begin(), sign.tags.end(),
                       [&](const std::string& t) { return SameSignName(t, tag); });
}

}  // namespace

bool SignSelection::OneChoice() const {
    return static_cast<int>(!names.empty()) + static_cast<int>(tag.has_value()) +
               static_cast<int>(all) ==
           1;
}

std::string SelectionFault::Text() const {
    switch (kind) {
        case Kind::kUnknownName:
            return "there is no sign named \"" + what + "\"";
        case Kind::kUnknownTag:
            return "no sign carries the tag \"" + what + "\"";
        case Kind::kNotOneChoice:
            break;
    }
    return {};
}

std::variant<std::vector<NamedSign>, SelectionFault> ResolveSelection(
    const SignSelection& selection, const std::vector<NamedSign>& signs) {
    if (!selection.OneChoice()) {
        return SelectionFault{};
    }
    if (selection.all) {
        return signs;
    }
    std::vector<NamedSign> chosen;
    if (selection.tag) {
        std::copy_if(signs.begin(), signs.end(), std::back_inserter(chosen),
                     [&](const NamedSign& sign) { return Carries(sign, *selection.tag); });
        if (chosen.empty()) {
            return SelectionFault{SelectionFault::Kind::kUnknownTag, *selection.tag};
        }
        return chosen;
    }
    for (const std::string& name : selection.names) {
        const auto same = [&](const NamedSign& sign) { return SameSignName(sign.name, name); };
        const auto found = std::find_if(signs.begin(), signs.end(), same);
        if (found == signs.end()) {
            return SelectionFault{SelectionFault::Kind::kUnknownName, name};
        }
        if (std::none_of(chosen.begin(), chosen.end(), same)) {
            chosen.push_back(*found);
        }
    }
    return chosen;
}
