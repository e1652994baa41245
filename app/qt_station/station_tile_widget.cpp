#include "station_tile_widget.h"

#include "operator_texts.h"
#include "station_fonts.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace knot::qt {
namespace {

// Sizes against the window's font.
constexpr double kHeadlineScale = 2.2;
constexpr double kSlotScale = 1.5;
constexpr double kDetailScale = 1.25;
constexpr double kIdentityScale = 1.1;
constexpr int kTileWidthInCharacters = 46;

QLabel* AddLabel(QWidget* parent, const char* name, const QFont& font) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText); // slots and identity rows come from units: no markup
    label->setFont(font);
    return label;
}

} // namespace

TileColours TileColoursOf(TileColour colour) {
    // Every text on its background reaches a contrast of 4.5:1 at least (WCAG AA).
    switch (colour) {
    case TileColour::Working:
        return {QColor(0x15, 0x65, 0xC0), Qt::white, QColor(0xE3, 0xF2, 0xFD),
                QColor(0x0D, 0x2F, 0x6E)};
    case TileColour::Hold:
        return {QColor(0xFF, 0xB3, 0x00), QColor(0x1A, 0x1A, 0x1A), QColor(0xFF, 0xF3, 0xD6),
                QColor(0x5D, 0x40, 0x00)};
    case TileColour::Pass:
        return {QColor(0x2E, 0x7D, 0x32), Qt::white, QColor(0xE8, 0xF5, 0xE9),
                QColor(0x1B, 0x4D, 0x1E)};
    case TileColour::Fail:
        return {QColor(0xC6, 0x28, 0x28), Qt::white, QColor(0xFF, 0xEB, 0xEE),
                QColor(0x7F, 0x16, 0x16)};
    case TileColour::Idle:
        break;
    }
    return {QColor(0xDD, 0xE0, 0xE4), QColor(0x1F, 0x23, 0x28), Qt::white,
            QColor(0x55, 0x5B, 0x63)};
}

CStationTileWidget::CStationTileWidget(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("stationTile"));
    setAutoFillBackground(true);
    setFrameShape(QFrame::NoFrame);
    const QFont base = font();
    setMinimumWidth(QFontMetrics(base).averageCharWidth() * kTileWidthInCharacters);

    m_slot = AddLabel(this, "tileSlot", ScaledFont(base, kSlotScale, true));
    m_unit = AddLabel(this, "tileUnit", ScaledFont(base, kSlotScale, false));
    m_unit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_headline = AddLabel(this, "tileHeadline", ScaledFont(base, kHeadlineScale, true));
    m_headline->setWordWrap(true);
    // Two lines always, so that tiles in one row keep one height whatever their state says.
    m_headline->setMinimumHeight(QFontMetrics(m_headline->font()).lineSpacing() * 2);
    m_detail = AddLabel(this, "tileDetail", ScaledFont(base, kDetailScale, true));
    m_detail->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("tileProgress"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(QFontMetrics(base).height());
    for (QWidget* shownAtTimes :
         {static_cast<QWidget*>(m_detail), static_cast<QWidget*>(m_progress)}) {
        QSizePolicy kept = shownAtTimes->sizePolicy();
        kept.setRetainSizeWhenHidden(true); // the identity rows stay where they are
        shownAtTimes->setSizePolicy(kept);
    }

    auto* layout = new QVBoxLayout(this);
    const int margin = QFontMetrics(base).height();
    layout->setContentsMargins(margin, margin / 2, margin, margin / 2);
    auto* top = new QHBoxLayout;
    top->addWidget(m_slot, 1);
    top->addWidget(m_unit);
    layout->addLayout(top);
    layout->addWidget(m_headline);
    layout->addWidget(m_detail);
    layout->addWidget(m_progress);
    auto* rows = new QGridLayout;
    rows->setColumnStretch(1, 1);
    const QFont rowFont = ScaledFont(base, kIdentityScale, false);
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        QLabel* name = AddLabel(this, "tileIdentityLabel", rowFont);
        name->setText(QString::fromUtf8(IDENTITY_ROW_LABELS[row]));
        m_identity[row] = AddLabel(this, "tileIdentity", ScaledFont(base, kIdentityScale, true));
        rows->addWidget(name, row, 0);
        rows->addWidget(m_identity[row], row, 1);
    }
    layout->addLayout(rows);
    layout->addStretch(1);
}

void CStationTileWidget::ShowTile(const Tile& tile) {
    m_slot->setText(QString::fromStdString(tile.slot));
    m_unit->setText(tile.unit ? QStringLiteral("unit %1").arg(*tile.unit) : QString());
    m_headline->setText(QString::fromStdString(tile.headline));
    m_detail->setText(QString::fromStdString(tile.detail));
    m_detail->setVisible(!tile.detail.empty());
    m_progress->setVisible(tile.percent >= 0);
    m_progress->setValue(std::max(tile.percent, 0));
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        m_identity[row]->setText(QString::fromStdString(tile.identity[row]));
    }
    setToolTip(QString::fromStdString(tile.detail));
    Paint(tile.colour);
}

void CStationTileWidget::Paint(TileColour colour) {
    const TileColours colours = TileColoursOf(colour);
    QPalette shades = palette();
    shades.setColor(QPalette::Window, colours.background);
    shades.setColor(QPalette::WindowText, colours.text);
    shades.setColor(QPalette::Text, colours.text);
    shades.setColor(QPalette::Base, colours.groove);
    shades.setColor(QPalette::Highlight, colours.fill);
    setPalette(shades); // the labels and the bar inherit it
}

} // namespace knot::qt
