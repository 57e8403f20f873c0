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

int32_t MaxHorizontalScroll(int32_t modelIndex) {
    const int32_t characters = GetSignModel(modelIndex).charactersPerLine;
    return characters > kShownUnits ? characters - kShownUnits + 1 : 1;
}
