// Choosing signs by name, tag or all, as the CLI's send and the gateway's do.
#include <gtest/gtest.h>

#include "fleet/SignSelection.h"
#include "support/FleetTestSupport.h"

namespace {

TEST(SignSelection, ChoosesEachSignOnceOrSaysWhatIsUnknown) {
    const std::vector<NamedSign> signs = {TestSign("Line 3", {"hall-b"}),
                                          TestSign("\xC3\x84rger", {}),
                                          TestSign("Dock", {"Hall-B", "dock"})};
    struct Case {
        SignSelection selection;
        std::vector<std::string> chosen;  // or, on a fault, its text ("" for not one choice)
        bool fault;
    };
    const Case cases[] = {
        {{{"line 3", "LINE 3", "dock"}, std::nullopt, false}, {"Line 3", "Dock"}, false},
        {{{"\xC3\xA4rger"}, std::nullopt, false}, {"\xC3\x84rger"}, false},
        {{{}, "HALL-b", false}, {"Line 3", "Dock"}, false},
        {{{}, std::nullopt, true}, {"Line 3", "\xC3\x84rger", "Dock"}, false},
        {{{"Gate"}, std::nullopt, false}, {"there is no sign named \"Gate\""}, true},
        {{{}, "paint", false}, {"no sign carries the tag \"paint\""}, true},
        {{{"Dock"}, "dock", false}, {""}, true},
        {{{}, std::nullopt, false}, {""}, true},
    };
    for (const Case& c : cases) {
        const auto result = ResolveSelection(c.selection, signs);
        std::vector<std::string> chosen;
        if (const auto* fault = std::get_if<SelectionFault>(&result)) {
            chosen.push_back(fault->Text());
        } else {
            for (const NamedSign& sign : std::get<std::vector<NamedSign>>(result)) {
                chosen.push_back(sign.name);
            }
        }
        EXPECT_EQ(std::holds_alternative<SelectionFault>(result), c.fault);
        EXPECT_EQ(chosen, c.chosen);
    }
}

}  // namespace
