#pragma once

#include <QComboBox>

// An editable list of devices that says when the operator opens it, so that the list can be made
// afresh first: an adapter plugged in meanwhile is then there to choose.
class CDeviceComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit CDeviceComboBox(QWidget* parent = nullptr);
    ~CDeviceComboBox() override;

    void showPopup() override;

signals:
    void popupAboutToShow();
};
