#include "ex_file_dialog.h"

namespace knot::qt {
CExFileDialog::CExFileDialog(QWidget* parent) : QFileDialog(parent) {
    // Qt's own chooser, so that its parts can be found and hidden on every platform.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::ReadOnly, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setDefaultSuffix(QString::fromUtf8(SRECORD_SUFFIX));
    setNameFilter(QString::fromUtf8(SRECORD_FILTER));
    setSizeGripEnabled(true);
    for (const char* part : {"fileNameEdit", "fileTypeLabel", "fileNameLabel", "fileTypeCombo"}) {
        if (QWidget* child = findChild<QWidget*>(QString::fromUtf8(part))) {
            child->hide();
        }
    }
}

} // namespace knot::qt
