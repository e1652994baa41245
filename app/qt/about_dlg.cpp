#include "about_dlg.h"

#include "dialog_units.h"
#include "program_icons.h"
#include "variant_profile.h"

#include <QLabel>

namespace knot::qt {
using namespace knot::core;

CAboutDlg::CAboutDlg(const VariantProfile& profile, QWidget* parent)
    : CAboutDlg(QString::fromUtf8(profile.aboutCaption), QString::fromUtf8(profile.aboutFirstLine),
                parent) {}

CAboutDlg::CAboutDlg(const QString& caption, const QString& firstLine, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(caption);
    setFont(DialogFont());
    const DialogUnits units(font());
    setFixedSize(units.ToPixels(235, 55));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(LargeIcon().pixmap(32, 32));
    icon->setGeometry(units.ToPixels(11, 17, 20, 20));

    auto* firstLineLabel = new QLabel(this);
    firstLineLabel->setObjectName(QStringLiteral("aboutFirstLine"));
    firstLineLabel->setTextFormat(Qt::PlainText); // shown as written, no mnemonic or markup
    firstLineLabel->setText(firstLine);
    firstLineLabel->setGeometry(units.ToPixels(40, 10, 188, 8));

    auto* secondLine = new QLabel(QString::fromUtf8(ABOUT_NOTICE), this);
    secondLine->setObjectName(QStringLiteral("aboutSecondLine"));
    secondLine->setTextFormat(Qt::PlainText);
    secondLine->setGeometry(units.ToPixels(40, 25, 119, 8));
}

} // namespace knot::qt
