// The About box: the program's icon, its name and version, and the maker's notice.
// Closed with its close box or the Escape key; it has no buttons.
#pragma once

#include <QDialog>

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::qt {
using namespace knot::core;

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    CAboutDlg(const VariantProfile& profile, QWidget* parent);
    // The same box for a program of no one model (the station).
    CAboutDlg(const QString& caption, const QString& firstLine, QWidget* parent);
};

// The second line of the About box.
inline constexpr const char* ABOUT_NOTICE = "Copyright (C) Korvane";

} // namespace knot::qt
