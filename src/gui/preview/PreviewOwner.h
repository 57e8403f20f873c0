#pragma once

#include <cstdint>
#include <vector>

#include "editor/CharCell.h"

// What the "Message Preview" window needs from the page that opens it. The composer page
// implements it; it must outlive the preview, or delete the open preview before it goes.
class IPreviewOwner {
public:
    // The index of the sign model chosen in the "Preview" list (kSignModelNames). Taken at
    // construction and at every CPreviewDlg::Relayout, not at each repaint.
    virtual int32_t PreviewSignModel() const = 0;

    // The message lines the editor built at its last encoding (its lineCells), or null while there
    // are none. Taken at construction and at every CPreviewDlg::Relayout; the preview reads them
    // at every repaint without changing them, so they must stay valid while it is open.
    virtual const std::vector<CellLine>* PreviewSourceLines() const = 0;

    // The preview is going: drop the pointer to it, do not delete it. Called twice, once as the
    // close is accepted and once as the object is destroyed, so it must bear being repeated.
    virtual void OnPreviewClosed() = 0;

protected:
    ~IPreviewOwner() = default;
};
