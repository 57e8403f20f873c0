#include "preview/SignModel.h"

#include <algorithm>

const SignModel& GetSignModel(int32_t index) {
    return index >= 0 && index < kSignModelCount ? kSignModels[static_cast<size_t>(index)]
                                                 : kSignModels[0];
}

AreaSize GetAreaSize(int32_t modelIndex) {
    const SignModel& model = GetSignModel(modelIndex);
    return {std::min(kMaxAreaWidth, kUnitWidth * model.charactersPerLine),
            std::min(kMaxAreaHeight, kLineHeight * model.lines)};
}

namespace {

// Positions 1 to the last from which `shown` of `total` still fill the view.
int32_t MaxScroll(int32_t total, int32_t shown) {
    return total > shown ? total - shown + 1 : 1;
}

}  // namespace

int32_t MaxHorizontalScroll(int32_t modelIndex) {
    return MaxScroll(GetSignModel(modelIndex).charactersPerLine, kShownUnits);
}

int32_t MaxVerticalScroll(int32_t modelIndex) {
    return MaxScroll(GetSignModel(modelIndex).lines, kShownLines);
}

AreaSize GetWholeSignArea(int32_t modelIndex) {
    return AreaSize{kUnitWidth * GetSignModel(modelIndex).charactersPerLine,
                    GetAreaSize(modelIndex).height};
}
