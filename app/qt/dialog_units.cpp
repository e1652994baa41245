#include "dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace knot::qt {
namespace {

constexpr int kDialogFontPoints = 9;

// Rounds units * base / divisor to the nearest integer, as the platform's MulDiv does.
int MulDiv(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    return static_cast<int>((product + (product >= 0 ? divisor / 2 : -(divisor / 2))) / divisor);
}

} // namespace

QFont DialogFont() {
    // The template's face first, then faces that resemble it most closely.
    static const QStringList kFaces = {"MS UI Gothic",    "MS PGothic", "Noto Sans CJK JP",
                                       "Liberation Sans", "Arial",      "DejaVu Sans"};
    const QStringList present = QFontDatabase::families();
    for (const QString& face : kFaces) {
        if (present.contains(face, Qt::CaseInsensitive)) {
            return QFont(face, kDialogFontPoints);
        }
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(kDialogFontPoints);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width over the Latin letters, rounded, is the horizontal base unit.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = metrics.height();
}

int DialogUnits::ToPixelsX(int units) const {
    return MulDiv(units, m_baseX, 4);
}

int DialogUnits::ToPixelsY(int units) const {
    return MulDiv(units, m_baseY, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

QSize DialogUnits::ToPixels(int width, int height) const {
    return QSize(ToPixelsX(width), ToPixelsY(height));
}

} // namespace knot::qt
