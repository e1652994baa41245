// The file chooser of the Open command: only existing "*.mot" files, picked by clicking.
// The name box, the type list and their labels are hidden, so nothing can be typed.
#pragma once

#include <QFileDialog>

namespace knot::qt {
class CExFileDialog : public QFileDialog {
    Q_OBJECT

  public:
    explicit CExFileDialog(QWidget* parent);
};

inline constexpr const char* SRECORD_FILTER = "S Record File (*.mot)";
inline constexpr const char* SRECORD_SUFFIX = "mot";

} // namespace knot::qt
