#pragma once
// A drop-down list that says when its list is about to open, so the window
// model can fill it afresh first (the port list is enumerated on opening).

#include <QComboBox>

namespace tavro::gui {

class DropDownCombo : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;

  void showPopup() override {
    emit aboutToShowPopup();
    QComboBox::showPopup();
  }

 signals:
  void aboutToShowPopup();
};

}  // namespace tavro::gui
