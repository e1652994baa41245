#include "station_header_panel.h"

#include "station_fonts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace knot::qt {
namespace {

constexpr double kValueScale = 1.2;

QLabel* PlainLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

CStationHeaderPanel::CStationHeaderPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("stationHeader"));
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    m_image = AddField(grid, 0, 0, "Image", "headerImage");
    m_model = AddField(grid, 0, 1, "Model", "headerModel");
    m_shortSha = AddField(grid, 0, 2, "SHA-256", "headerShortSha");
    m_blocks = AddField(grid, 0, 3, "Blocks", "headerBlocks");
    m_report = AddField(grid, 1, 0, "Report", "headerReport");
    m_operator = AddField(grid, 1, 1, "Operator", "headerOperator");
    m_workOrder = AddField(grid, 1, 2, "Work order", "headerWorkOrder");
    grid->setColumnStretch(4, 1);

    m_digest = PlainLabel(this);
    m_digest->setObjectName(QStringLiteral("headerDigest"));
    m_digest->setTextInteractionFlags(Qt::TextSelectableByMouse); // to be copied and compared
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(grid);
    layout->addWidget(m_digest);

    ShowHeader({});
    ShowField(m_image, "none yet");
}

QLabel* CStationHeaderPanel::AddField(QGridLayout* grid, int row, int column, const char* caption,
                                      const char* name) {
    auto* field = new QWidget(this);
    auto* captionLabel = PlainLabel(field);
    captionLabel->setText(QString::fromUtf8(caption));
    QLabel* value = PlainLabel(field);
    value->setObjectName(QString::fromUtf8(name));
    value->setFont(ScaledFont(font(), kValueScale, true));
    auto* pair = new QHBoxLayout(field);
    pair->setContentsMargins(0, 0, QFontMetrics(font()).averageCharWidth() * 3, 0);
    pair->addWidget(captionLabel);
    pair->addWidget(value, 1);
    grid->addWidget(field, row, column);
    return value;
}

void CStationHeaderPanel::ShowField(QLabel* value, const std::string& text) {
    value->setText(QString::fromStdString(text));
    value->parentWidget()->setVisible(!text.empty());
}

void CStationHeaderPanel::ShowHeader(const StationHeader& header) {
    ShowField(m_image, header.image);
    ShowField(m_model, header.model);
    ShowField(m_shortSha, header.shortSha);
    m_shortSha->setToolTip(QString::fromStdString(header.sha256));
    ShowField(m_blocks, header.blocks);
    ShowField(m_report, header.image.empty() || !header.report.empty() ? header.report : "none");
    ShowField(m_operator, header.operatorName);
    ShowField(m_workOrder, header.workOrder);
    m_digest->setText(
        header.sha256.empty()
            ? QString()
            : QStringLiteral("SHA-256 %1").arg(QString::fromStdString(header.sha256)));
    m_digest->setVisible(!header.sha256.empty());
}

} // namespace knot::qt
