#include "gui/controls/CDeviceComboBox.h"

CDeviceComboBox::CDeviceComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // A typed path is the operator's choice for this port, not a new entry of the list.
    setInsertPolicy(QComboBox::NoInsert);
}

CDeviceComboBox::~CDeviceComboBox() = default;

void CDeviceComboBox::showPopup() {
    emit popupAboutToShow();
    QComboBox::showPopup();
}
