#pragma once
// A combo box that assistive technology finds by its accessible name. Qt names a combo box on
// Linux by its current text; this one is named like every other control ("Drive", "Domain") and
// carries its current text as its value.

#include <QComboBox>

namespace permscope::app {

class NamedComboBox : public QComboBox {
    Q_OBJECT

  public:
    explicit NamedComboBox(QWidget* parent = nullptr);
};

}  // namespace permscope::app
